// What the browser tests and bench/web.sh share: the page served from the site
// that `make web-site` built; the browsers it is tested in, each started with a
// fresh profile (Debian's Chromium driven by Playwright, Firefox ESR by
// puppeteer-core over WebDriver BiDi, WebKitGTK by its WebDriver); and the steps a
// user takes on the page, the same in each.
import { execFileSync, spawn } from 'node:child_process';
import {
  existsSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, renameSync, rmSync, statSync,
} from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join, relative, resolve } from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import puppeteer from 'puppeteer-core';
import { serve } from '../../scripts/serve-web.mjs';

export const kRoot = resolve(fileURLToPath(new URL('../..', import.meta.url)));
export const kSite = process.env.WEB_SITE || join(kRoot, 'build-web/site');
export const kBuild = process.env.BUILD_DIR || join(kRoot, 'build');
export const kProj2wav = join(kBuild, 'src/cli/proj2wav');

// The browsers the page is tested in (WEB_BROWSERS=firefox picks fewer).
export const kBrowsers = (process.env.WEB_BROWSERS || 'chromium,firefox,webkit').split(',');

// This machine's network is closed: Chromium must not try to reach anything.
const kChromiumFlags = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic',
  '--no-first-run', '--disable-background-networking', '--disable-component-update',
  '--disable-sync'];
// WebKitGTK's storage for pages, off unless these features are switched on.
export const kWebKitStorage = ['StorageAPI', 'StorageAPIEstimate', 'FileSystem', 'AccessHandle',
  'FileSystemWritableStream'];
const kMiniBrowser = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
// How long a step may take: a conversion, or a browser's answer.
const kLongWait = 600000;
const kShortWait = 60000;

export function temporaryDirectory(prefix) {
  return mkdtempSync(join(tmpdir(), `proj2wav-${prefix}-`));
}

async function until(condition, what, timeout = kLongWait) {
  const deadline = Date.now() + timeout;
  while (!(await condition())) {
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await sleep(25);
  }
}

// ---- The browsers ----
// Each opens pages of the site that all take the same calls:
//   evaluate(fn, arg)        fn(arg) run in the page (fn travels as its source)
//   click(selector)          a click of the browser's own
//   pickFolder(dir)          the folder `dir` given to the page's folder input
//   download(selector, dir)  the download link's file saved into dir: its path
//   close()

// Chromium: Playwright hands a folder to the folder input as it is.
async function startChromium(profile) {
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: kChromiumFlags,
    acceptDownloads: true,
    viewport: { width: 1000, height: 640 },
  });
  return {
    async open(url) {
      const page = await context.newPage();
      page.on('pageerror', (error) => console.error(`page error: ${error.message}`));
      await page.goto(url);
      return {
        evaluate: (fn, arg) => page.evaluate(fn, arg),
        click: (selector) => page.click(selector),
        press: (key) => page.keyboard.press(key),
        pickFolder: (directory) => page.setInputFiles('#project', directory),
        async download(selector, directory) {
          const [download] = await Promise.all([page.waitForEvent('download'), page.click(selector)]);
          const path = join(directory, download.suggestedFilename());
          await download.saveAs(path);
          return path;
        },
        screenshot: (path) => page.screenshot({ path }),
        // The page as a user with a colour scheme and a window width sees it.
        async emulate({ colorScheme, width }) {
          await page.emulateMedia({ colorScheme });
          await page.setViewportSize({ width, height: 640 });
        },
        // Cuts the browser off the network (or joins it again) and loads the page anew.
        async reloadWithNetwork(online) {
          await context.setOffline(!online);
          await page.reload();
        },
        close: () => page.close(),
      };
    },
    // Serves the site's `file` with `code` run first, to the pages opened from now on.
    prependTo: (file, code) => context.route(`**/${file}`, async (route) => {
      const response = await route.fetch();
      await route.fulfill({ response, body: code + await response.text() });
    }),
    close: () => context.close(),
  };
}

// Firefox's and WebKit's WebDriver give an input files, never a folder. So the
// folder's files, as the files on disk they are, go to an input of the test's
// own; the page then names each with its path under the folder's parent, as a
// folder input names it, and gives them all to its own folder input, whose
// change goes through the page's loading code as a folder chosen there would.
function giveFolder(paths) {
  const helper = document.getElementById('test-files');
  const folder = new DataTransfer();
  Array.from(helper.files).forEach((file, i) => {
    if (!paths[i].endsWith(`/${file.name}`)) throw new Error(`${file.name} is not ${paths[i]}`);
    Object.defineProperty(file, 'webkitRelativePath', { value: paths[i] });
    folder.items.add(file);
  });
  helper.remove();
  const input = document.getElementById('project');
  input.files = folder.files;
  input.dispatchEvent(new Event('change'));
}

// A page driven through WebDriver's calls: evaluate, click, upload(selector,
// paths) and close. Its downloads land in `downloads`.
function drivenPage({ evaluate, click, upload, close }, downloads) {
  return {
    evaluate,
    click,
    close,
    async pickFolder(directory) {
      const parent = resolve(directory, '..');
      const files = readdirSync(directory, { recursive: true }).map((name) => join(directory, name))
        .filter((path) => statSync(path).isFile());
      await evaluate(() => document.body.insertAdjacentHTML('beforeend',
        '<input type="file" multiple id="test-files">'));
      await upload('#test-files', files);
      await evaluate(giveFolder, files.map((path) => relative(parent, path)));
    },
    // Done once the file is there, not empty (Firefox first puts an empty one in
    // its place), and nothing partial is left beside it.
    async download(selector, directory) {
      const name = await evaluate((s) => document.querySelector(s).download, selector);
      const path = join(downloads, name);
      await click(selector);
      await until(() => existsSync(path) && statSync(path).size > 0
        && readdirSync(downloads).length === 1, `the download of ${name}`, kShortWait);
      renameSync(join(downloads, name), join(directory, name));
      return join(directory, name);
    },
  };
}

// Firefox ESR through puppeteer-core over WebDriver BiDi; downloads are saved
// without a question.
async function startFirefox(profile) {
  const downloads = join(profile, 'downloads');
  mkdirSync(downloads);
  const browser = await puppeteer.launch({
    browser: 'firefox',
    executablePath: process.env.FIREFOX || '/usr/bin/firefox-esr',
    headless: true,
    userDataDir: join(profile, 'firefox'),
    extraPrefsFirefox: {
      'browser.download.dir': downloads,
      'browser.download.folderList': 2,
      'browser.download.always_ask_before_handling_new_types': false,
      'browser.download.start_downloads_in_tmp_dir': false,
    },
  });
  return {
    async open(url) {
      const page = await browser.newPage();
      page.on('pageerror', (error) => console.error(`page error: ${error.message}`));
      await page.goto(url);
      return drivenPage({
        evaluate: (fn, arg) => page.evaluate(fn, arg),
        click: (selector) => page.click(selector),
        upload: async (selector, paths) => (await page.$(selector)).uploadFile(...paths),
        close: () => page.close(),
      }, downloads);
    },
    close: () => browser.close(),
  };
}

async function freePort() {
  const server = createServer();
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  const { port } = server.address();
  await new Promise((done) => server.close(done));
  return port;
}

// WebKitGTK through WebKitWebDriver, spoken to in plain W3C WebDriver over HTTP,
// on a virtual X server (WebKitGTK has no headless mode). With `features`
// switched on, in the small browser of webkit-browser.js, which keeps a profile
// and downloads of its own; with `miniBrowser`, in WebKitGTK's MiniBrowser as
// Debian ships it, whose driven profile is ephemeral (no downloads).
async function startWebKit(profile, { features = kWebKitStorage, miniBrowser = false } = {}) {
  const downloads = join(profile, 'downloads');
  mkdirSync(downloads);
  const port = await freePort();
  const driver = spawn('xvfb-run', ['-a', '-s', '-screen 0 1280x800x24', 'WebKitWebDriver',
    `--port=${port}`], { stdio: 'ignore', detached: true });
  const send = async (method, path, body) => {
    const response = await fetch(`http://127.0.0.1:${port}${path}`, {
      method, headers: { 'Content-Type': 'application/json' }, body: body && JSON.stringify(body),
    });
    const { value } = await response.json();
    if (value && value.error) throw new Error(`WebDriver ${path}: ${value.error}: ${value.message}`);
    return value;
  };
  const stop = () => process.kill(-driver.pid);  // xvfb-run, its X server and the driver
  let sessionId;
  try {
    await until(() => send('GET', '/status').then(() => true, () => false), 'WebKitWebDriver',
      kShortWait);
    ({ sessionId } = await send('POST', '/session', { capabilities: { alwaysMatch: {
      timeouts: { script: kLongWait },
      'webkitgtk:browserOptions': miniBrowser
        ? { binary: kMiniBrowser, args: ['--automation', `--features=${features.map((f) => `+${f}`)}`] }
        : { binary: 'gjs', args: ['-m', join(kRoot, 'tests/web/webkit-browser.js'), '--automation',
          `--profile=${profile}`, `--downloads=${downloads}`, `--features=${features}`] },
    } } }));
  } catch (error) {
    stop();
    throw error;
  }
  const command = (method, path, body) => send(method, `/session/${sessionId}${path}`, body);
  const element = async (selector) => Object.values(await command('POST', '/element',
    { using: 'css selector', value: selector }))[0];
  const page = drivenPage({
    evaluate: (fn, arg) => command('POST', '/execute/sync',
      { script: `return (${fn})(...arguments);`, args: arg === undefined ? [] : [arg] }),
    click: async (selector) => command('POST', `/element/${await element(selector)}/click`, {}),
    upload: async (selector, paths) => command('POST', `/element/${await element(selector)}/value`,
      { text: paths.join('\n') }),
    close: () => command('POST', '/url', { url: 'about:blank' }),
  }, downloads);
  return {
    async open(url) {
      await command('POST', '/url', { url });
      return page;
    },
    async close() {
      await send('DELETE', `/session/${sessionId}`).catch(() => {});
      stop();
    },
  };
}

const kStarters = { chromium: startChromium, firefox: startFirefox, webkit: startWebKit };

// The site served on a free port, and the browser `name` with a new, empty
// profile (`options` for WebKit: see startWebKit).
export async function startBrowser(name = 'chromium', options = {}) {
  const server = await serve(kSite, 0);
  const profile = temporaryDirectory(`${name}-profile`);
  const browser = await kStarters[name](profile, options);
  return {
    name,
    profile,
    url: `http://127.0.0.1:${server.address().port}/`,
    open: (url) => browser.open(url),
    prependTo: (file, code) => browser.prependTo(file, code),
    async close() {
      await browser.close();
      server.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

// ---- The steps a user takes ----

export function waitFor(page, condition, arg, timeout = kLongWait) {
  return until(() => page.evaluate(condition, arg), `${condition}`, timeout);
}

export function text(page, selector) {
  return page.evaluate((s) => document.querySelector(s).textContent.trim(), selector);
}

// A new page of the site once the engine has started; the page's reason why it
// cannot start, as an error.
export async function openPage(browser, query = '', page = undefined) {
  page ??= await browser.open(browser.url + query);
  await waitFor(page, () => ['app', 'unsupported'].some((id) => !document.getElementById(id).hidden),
    undefined, kShortWait);
  if (await page.evaluate(() => document.getElementById('app').hidden)) {
    throw new Error(await text(page, '#unsupported'));
  }
  return page;
}

function idle(page) {
  return waitFor(page, () => document.getElementById('app').getAttribute('aria-busy') === 'false');
}

// Picks the project folder through the page's folder input.
export async function loadProject(page, directory) {
  await page.pickFolder(directory);
  await waitFor(page, () => document.getElementById('project-name').textContent !== 'No folder chosen',
    undefined, kShortWait);
  await idle(page);
}

export async function choose(page, bits, channels, markers = false) {
  await page.click(`input[name=bits][value="${bits}"]`);
  await page.click(`input[name=channels][value="${channels}"]`);
  if (await page.evaluate(() => document.getElementById('markers').checked) !== markers) {
    await page.click('#markers');
  }
  await idle(page);
}

// Presses Convert (`presses` times at once; or the `button` given) and waits
// until the run has ended; `during` runs meanwhile. The outcome, or what the page
// said when the run could not start.
export async function convert(page, during = async () => {}, presses = 1, button = 'convert') {
  if (presses === 1) await page.click(`#${button}`);
  else {
    await page.evaluate(([n, id]) => {
      for (let i = 0; i < n; i += 1) document.getElementById(id).click();
    }, [presses, button]);
  }
  await waitFor(page, () => document.getElementById('sheet').open, undefined, kShortWait);
  await during();
  await idle(page);
  const refused = await page.evaluate(() => document.getElementById('alert').open);
  return text(page, refused ? '#alert-text' : '#outcome');
}

// Saves every download the page offers into `directory`; their paths, in order.
export async function saveDownloads(page, directory) {
  const count = await page.evaluate(() => document.querySelectorAll('#downloads a').length);
  const saved = [];
  for (let i = 1; i <= count; i += 1) {
    saved.push(await page.download(`#downloads li:nth-child(${i}) a`, directory));
  }
  return saved;
}

// The command line's run of the same job.
export function proj2wav(...args) {
  return execFileSync(kProj2wav, args, { encoding: 'utf8' });
}

// A WAVE file's bytes, with the origination date and time of its 'bext' chunk
// (which record when the file was made) blanked out.
export function bytesWithoutOrigination(path) {
  const bytes = readFileSync(path);
  const bext = 12 + 8;  // the 'bext' chunk's payload, after RIFF and its own header
  if (bytes.toString('latin1', 12, 16) === 'bext') bytes.fill(0, bext + 320, bext + 338);
  return bytes;
}

export function filesIn(directory) {
  return readdirSync(directory).sort();
}
