// What the browser tests and bench/web.sh share: the page served from the site
// that `make web-site` built, the system's Chromium driven by Playwright with a
// fresh profile, and the steps a user takes on the page.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { serve } from '../../scripts/serve-web.mjs';

export const kRoot = resolve(fileURLToPath(new URL('../..', import.meta.url)));
export const kSite = process.env.WEB_SITE || join(kRoot, 'build-web/site');
export const kBuild = process.env.BUILD_DIR || join(kRoot, 'build');
export const kProj2wav = join(kBuild, 'src/cli/proj2wav');

// This machine's network is closed: Chromium must not try to reach anything.
const kChromiumFlags = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic',
  '--no-first-run', '--disable-background-networking', '--disable-component-update',
  '--disable-sync'];

export function temporaryDirectory(prefix) {
  return mkdtempSync(join(tmpdir(), `proj2wav-${prefix}-`));
}

// The site served on a free port, and Chromium with a new, empty profile.
export async function startBrowser() {
  const server = await serve(kSite, 0);
  const profile = temporaryDirectory('profile');
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: kChromiumFlags,
    acceptDownloads: true,
    viewport: { width: 1000, height: 640 },
  });
  return {
    context,
    profile,
    url: `http://127.0.0.1:${server.address().port}/`,
    async close() {
      await context.close();
      server.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

// A new page of the site, once the engine is ready.
export async function openPage(browser, query = '') {
  const page = await browser.context.newPage();
  page.on('pageerror', (error) => console.error(`page error: ${error.message}`));
  await page.goto(browser.url + query);
  await page.waitForSelector('#app:not([hidden])');
  return page;
}

async function idle(page) {
  await page.waitForSelector('#app[aria-busy="false"]', { timeout: 600000 });
}

// Picks the project folder through the page's folder input.
export async function loadProject(page, directory) {
  await page.setInputFiles('#project', directory);
  await page.waitForFunction(() => document.getElementById('project-name').textContent !== 'No folder chosen');
  await idle(page);
}

export async function choose(page, bits, channels, markers = false) {
  await page.check(`input[name=bits][value="${bits}"]`);
  await page.check(`input[name=channels][value="${channels}"]`);
  await page.setChecked('#markers', markers);
  await idle(page);
}

// Presses Convert and waits until the run has ended; `during` runs meanwhile.
export async function convert(page, during = async () => {}) {
  await page.click('#convert');
  await page.waitForSelector('#sheet[open]');
  await during();
  await idle(page);
  return (await page.textContent('#outcome')).trim();
}

// Saves every download the page offers into `directory`; their paths, in order.
export async function saveDownloads(page, directory) {
  const saved = [];
  for (const link of await page.$$('#downloads a')) {
    const [download] = await Promise.all([page.waitForEvent('download'), link.click()]);
    const path = join(directory, download.suggestedFilename());
    await download.saveAs(path);
    saved.push(path);
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
