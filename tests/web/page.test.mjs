// The page against the command line, in every browser engine (Chromium,
// Firefox, WebKit): the same status line, the same bytes, a valid file after
// Cancel, the reason for a damaged take, takes read right past 4 GiB, and the
// page's words where a browser refuses what it needs. Needs `make web-site` and
// the native build (proj2wav, make-sample-project, make-bench-project); `make
// test-web` runs it.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import {
  closeSync, copyFileSync, cpSync, mkdirSync, openSync, readFileSync, rmSync, statfsSync, statSync,
  truncateSync, writeFileSync, writeSync,
} from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import {
  bytesWithoutOrigination, choose, convert, filesIn, kBrowsers, kBuild, kWebKitStorage,
  loadProject, openPage, proj2wav, saveDownloads, startBrowser, temporaryDirectory, text, waitFor,
} from './support.mjs';

let work;
let sample;

before(() => {
  work = temporaryDirectory('web-test');
  sample = join(work, 'Sample Session');
  execFileSync(join(kBuild, 'tools/make-sample-project'), [sample]);
});

after(() => rmSync(work, { recursive: true, force: true }));

function assertSameAudio(webFile, cliFile) {
  const web = bytesWithoutOrigination(webFile);
  const cli = bytesWithoutOrigination(cliFile);
  assert.equal(web.length, cli.length, `${webFile}: length`);
  assert.ok(web.equals(cli), `${webFile} differs from the command line's output`);
}

const { bavail, bsize } = statfsSync(tmpdir());
const roomy = bavail * bsize > 6e9;

for (const name of kBrowsers) {
  describe(name, () => {
    let browser;
    before(async () => { browser = await startBrowser(name); });
    after(async () => { await browser?.close(); });

    test('the status line is the command line\'s, for every format chosen', async () => {
      const page = await openPage(browser, '?save=download');
      await loadProject(page, sample);
      for (const [bits, channels] of [[24, 'dual'], [16, 'sum'], [16, 'stereo']]) {
        await choose(page, bits, channels);
        const info = JSON.parse(proj2wav('info', sample, '--json', '--bits', String(bits),
          '--channels', channels));
        assert.equal(await text(page, '#status'), info.status);
      }
      // The README's picture of the page.
      if (name === 'chromium') {
        await page.screenshot(process.env.WEB_SCREENSHOT || join(work, 'page.png'));
      }
      await page.close();
    });

    for (const [bits, channels, markers, names] of [
      [16, 'stereo', false, ['Sample Session.wav']],
      [24, 'dual', true, ['Sample SessionL.wav', 'Sample SessionR.wav']],
    ]) {
      test(`the ${bits}-bit ${channels} download${markers ? ' with markers' : ''} equals the command line's output`, async () => {
        const page = await openPage(browser, '?save=download');
        // The Content-Security-Policy holds, and nothing the page does breaks it.
        assert.match(await page.evaluate(() => document.querySelector(
          'meta[http-equiv="Content-Security-Policy"]').content), /^default-src 'self'; script-src 'self' 'wasm-unsafe-eval';/);
        await page.evaluate(() => {
          window.violations = [];
          document.addEventListener('securitypolicyviolation', (e) => window.violations.push(e.violatedDirective));
        });
        await loadProject(page, sample);
        await choose(page, bits, channels, markers);
        // Pressed three times at once, Convert starts one run.
        assert.equal(await convert(page, undefined, 3), 'Conversion complete...');
        const downloads = temporaryDirectory('downloads');
        assert.deepEqual((await saveDownloads(page, downloads)).map((p) => p.slice(downloads.length + 1)),
          names);
        // Once downloaded, the page's copies are deleted, and the links say so.
        await waitFor(page, () => document.getElementById('kept').hidden
          && !document.querySelector('#downloads a'));
        assert.match(await text(page, '#downloads'), /downloaded, and the page's copy deleted/);
        const cli = temporaryDirectory('cli');
        proj2wav('convert', sample, '-o', join(cli, names[0]), '--bits', String(bits), '--channels',
          channels, '--quiet', ...(markers ? ['--markers'] : []));
        assert.deepEqual(filesIn(cli), names);
        for (const file of names) assertSameAudio(join(downloads, file), join(cli, file));
        assert.deepEqual(await page.evaluate(() => window.violations), []);
        rmSync(downloads, { recursive: true });
        rmSync(cli, { recursive: true });
        await page.close();
      });
    }

    test('a folder of projects: the valid ones converted, named apart, as the command line does', async () => {
      const disk = join(work, `Disk ${name}`);
      cpSync(sample, join(disk, 'A', 'Gig'), { recursive: true });
      cpSync(sample, join(disk, 'B', 'deep', 'Gig'), { recursive: true });
      mkdirSync(join(disk, 'Broken', 'Audio Files'), { recursive: true });
      writeFileSync(join(disk, 'Broken', 'Audio Files', 'Take 01.wav'), 'not a wave file');
      const root = `Disk ${name}`;
      const projects = [`${root}/A/Gig`, `${root}/B/deep/Gig`, `${root}/Broken`];
      const names = ['Gig.wav', 'Gig (2).wav'];
      const boxes = (page) => page.evaluate(() => Array.from(
        document.querySelectorAll('#projects-list input'), (box) => [box.value, box.checked]));
      const states = (page) => page.evaluate(() => Array.from(
        document.querySelectorAll('#report-list tr'), (row) => row.cells[3].textContent));
      const kDone = 'Done: the table says what happened to each project.';

      const page = await openPage(browser, '?save=download');
      await loadProject(page, disk);
      assert.deepEqual(await boxes(page), [[projects[0], true], [projects[1], true], [projects[2], false]]);
      assert.equal(await convert(page, undefined, 3, 'convert-all'), kDone);
      assert.deepEqual(await states(page), ['converted', 'converted']);
      const downloads = temporaryDirectory('batch');
      assert.deepEqual((await saveDownloads(page, downloads)).map((p) => p.slice(downloads.length + 1)), names);
      const cli = temporaryDirectory('batch-cli');
      proj2wav('convert', join(disk, 'A', 'Gig'), join(disk, 'B', 'deep', 'Gig'), '--output-dir', cli, '--quiet');
      for (const file of names) assertSameAudio(join(downloads, file), join(cli, file));
      await page.close();

      if (name === 'chromium') {
        // The disk chosen with the directory picker, and the outputs into a folder
        // chosen with it; the picker answers here with folders of the page's
        // storage, the disk a copy of the files the folder input took. A second
        // run skips what is there.
        const folderPage = await openPage(browser);
        await loadProject(folderPage, disk);
        await folderPage.evaluate(async () => {
          const root = await navigator.storage.getDirectory();
          const copy = await root.getDirectoryHandle('copy', { create: true });
          for (const file of document.getElementById('project').files) {
            const parts = file.webkitRelativePath.split('/');
            let folder = copy;
            for (const part of parts.slice(0, -1)) folder = await folder.getDirectoryHandle(part, { create: true });
            const writable = await (await folder.getFileHandle(parts.at(-1), { create: true })).createWritable();
            await writable.write(file);
            await writable.close();
          }
          const [picked] = await Array.fromAsync(copy.values());
          window.showDirectoryPicker = async ({ id }) => (id === 'proj2wav-outputs'
            ? root.getDirectoryHandle('outputs', { create: true }) : picked);
          document.getElementById('projects-list').replaceChildren();
        });
        await folderPage.click('#open');
        await waitFor(folderPage, () => document.getElementById('projects-list').rows.length > 0);
        assert.deepEqual(await boxes(folderPage), [[projects[0], true], [projects[1], true], [projects[2], false]]);
        assert.equal(await convert(folderPage, undefined, 1, 'convert-all'), kDone);
        assert.deepEqual(await states(folderPage), ['converted', 'converted']);
        assert.deepEqual(await folderPage.evaluate(async (files) => {
          const folder = await (await navigator.storage.getDirectory()).getDirectoryHandle('outputs');
          return Promise.all(files.map(async (f) => (await (await folder.getFileHandle(f)).getFile()).size));
        }, names), names.map((file) => statSync(join(cli, file)).size));
        await folderPage.click('#sheet-button');
        assert.equal(await convert(folderPage, undefined, 1, 'convert-all'), kDone);
        assert.deepEqual(await states(folderPage), ['skipped', 'skipped']);
        await folderPage.close();
      }
      rmSync(downloads, { recursive: true });
      rmSync(cli, { recursive: true });
    });

    test('the file chosen in the Save dialog is written as the run goes',
      { skip: name !== 'chromium' && 'only Chromium has the Save dialog' }, async () => {
        const page = await openPage(browser);
        // The dialog cannot be clicked headless; it answers here with a file of the
        // page's own storage, whose handle writes through the same stream as any other.
        await page.evaluate(() => {
          window.pickerCalls = 0;
          window.showSaveFilePicker = async ({ suggestedName }) => {
            window.pickerCalls += 1;
            const root = await navigator.storage.getDirectory();
            return root.getFileHandle(`chosen ${suggestedName}`, { create: true });
          };
        });
        await loadProject(page, sample);
        assert.equal(await convert(page, undefined, 3), 'Conversion complete...');
        assert.equal(await page.evaluate(() => window.pickerCalls), 1);
        await page.press('Escape');  // closes the finished sheet
        assert.equal(await page.evaluate(() => document.getElementById('sheet').open), false);
        assert.equal(await page.evaluate(() => document.querySelectorAll('#downloads a').length), 0);
        const written = Buffer.from(await page.evaluate(async () => {
          const root = await navigator.storage.getDirectory();
          const file = await (await root.getFileHandle('chosen Sample Session.wav')).getFile();
          const url = await new Promise((done) => {
            const reader = new FileReader();
            reader.onload = () => done(reader.result);
            reader.readAsDataURL(file);
          });
          return url.slice(url.indexOf(',') + 1);
        }), 'base64');
        const dir = temporaryDirectory('chosen');
        proj2wav('convert', sample, '-o', join(dir, 'cli.wav'), '--quiet');
        writeFileSync(join(dir, 'web.wav'), written);
        assertSameAudio(join(dir, 'web.wav'), join(dir, 'cli.wav'));
        rmSync(dir, { recursive: true });
        await page.close();
      });

    test('axe finds nothing, at 375 px only the list scrolls sideways, in both colour schemes',
      { skip: name !== 'chromium' && 'the acceptance check runs in Chromium' }, async () => {
        const axe = readFileSync(join(import.meta.dirname, 'node_modules/axe-core/axe.min.js'), 'utf8');
        const check = (page) => page.evaluate(() => window.axe.run({ resultTypes: ['violations'] })
          .then((r) => r.violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`)));
        for (const [colorScheme, width] of [['light', 375], ['dark', 1000]]) {
          const page = await openPage(browser, '?save=download');
          await page.emulate({ colorScheme, width });
          await page.evaluate(axe);
          assert.deepEqual(await check(page), [], `${colorScheme}, empty`);
          await loadProject(page, sample);
          assert.deepEqual(await check(page), [], `${colorScheme}, loaded`);
          assert.ok(await page.evaluate((w) => document.documentElement.scrollWidth <= w, width));
          await page.close();
        }
      });

    test('with the network gone, a later visit works as the first',
      { skip: name !== 'chromium' && 'the acceptance check runs in Chromium' }, async () => {
        const page = await openPage(browser, '?save=download');
        await page.evaluate(() => navigator.serviceWorker.ready.then(() => true));
        try {
          await page.reloadWithNetwork(false);
          await openPage(browser, '', page);
          await loadProject(page, sample);
          await choose(page, 24, 'stereo');
          assert.equal(await text(page, '#status'),
            JSON.parse(proj2wav('info', sample, '--json', '--bits', '24')).status);
        } finally {
          await page.reloadWithNetwork(true);
        }
        await page.close();
      });

    test('Cancel leaves a valid, shorter file', async () => {
      const project = join(work, 'Long Session');
      execFileSync(join(kBuild, 'bench/make-bench-project'), [project, '--takes', '2', '--minutes', '20']);
      const page = await openPage(browser, '?save=download');
      await loadProject(page, project);
      const outcome = await convert(page, async () => {
        await waitFor(page, () => document.getElementById('progress').value > 0);
        // Leaving the page now would lose the run: the browser is to ask first.
        assert.equal(await page.evaluate(() => !window.dispatchEvent(
          new Event('beforeunload', { cancelable: true }))), true);
        await page.click('#sheet-button');
      });
      assert.equal(outcome, 'Operation cancelled...');
      const downloads = temporaryDirectory('cancelled');
      const [file] = await saveDownloads(page, downloads);
      // Read by a reader written by others: whole frames, as many as the header says.
      const frames = Number(execFileSync('ffprobe', ['-v', 'error', '-select_streams', 'a:0',
        '-show_entries', 'stream=duration_ts', '-of', 'csv=p=0', file], { encoding: 'utf8' }));
      const info = JSON.parse(proj2wav('info', project, '--json'));
      const total = info.last_sample - info.first_sample;
      assert.ok(frames > 0 && frames < total, `${frames} of ${total} frames`);
      const bytes = readFileSync(file);
      assert.equal(bytes.length, 1024 + frames * 4);
      // What it holds is the beginning of the whole conversion.
      const whole = join(downloads, 'whole.wav');
      proj2wav('convert', project, '-o', whole, '--quiet');
      const wholeBytes = readFileSync(whole);
      assert.ok(bytes.subarray(1024).equals(wholeBytes.subarray(1024, bytes.length)));
      if (name === 'chromium') {
        // A tab closed during a run leaves its kept output valid: finished shorter
        // when the browser gives the worker the time, else with a header that
        // declares no more than the file holds (this tab, open still, leaves the
        // other's outputs alone).
        const closing = await openPage(browser, '?save=download');
        await loadProject(closing, project);
        await closing.click('#convert');
        await waitFor(closing, () => document.getElementById('progress').value > 30);
        await closing.close();
        await waitFor(page, async () => {
          const valid = [];
          for await (const entry of (await navigator.storage.getDirectory()).values()) {
            const file = await entry.getFile();
            const riff = new DataView(await file.slice(0, 8).arrayBuffer());
            valid.push(file.size > 1024 && riff.getUint32(4, true) + 8 <= file.size);
          }
          return valid.length > 0 && !valid.includes(false);
        }, undefined, 20000);
      }
      rmSync(downloads, { recursive: true });
      rmSync(project, { recursive: true });
      await page.close();
    });

    test('a damaged take is listed with the reason the command line gives', async () => {
      const project = join(work, 'Damaged Session');
      cpSync(sample, project, { recursive: true });
      const audio = join(project, 'Audio Files');
      const [damaged, cut] = [join(audio, 'Take 99.wav'), join(audio, 'Take 98.wav')];
      copyFileSync(join(audio, filesIn(audio)[0]), damaged);
      truncateSync(damaged, 700);  // inside the 'bext' chunk
      copyFileSync(join(audio, filesIn(audio)[0]), cut);
      truncateSync(cut, 100000);  // inside its samples
      const entries = JSON.parse(proj2wav('info', project, '--json')).entries;
      const entry = (file) => entries.find((e) => e.name === file);
      assert.ok(entry('Take 99.wav').reason);
      assert.equal(entry('Take 98.wav').truncated, true);

      const page = await openPage(browser, '?save=download');
      await loadProject(page, project);
      const rows = await page.evaluate(() => Array.from(document.querySelectorAll('#takes-list tr'),
        (r) => Array.from(r.cells, (c) => c.textContent)));
      const row = (file) => rows.find((cells) => cells[0] === file);
      assert.deepEqual(row('Take 99.wav').slice(0, 2),
        ['Take 99.wav', `refused: ${entry('Take 99.wav').reason}`]);
      assert.match(row('Take 98.wav')[1], /^truncated: holds 0:00:00\.\d\d of \d+:\d\d:\d\d\.\d\d$/);
      // Refusals are news: the list is open.
      assert.equal(await page.evaluate(() => document.getElementById('takes').open), true);
      if (name === 'chromium') {
        // A take removed after loading is written as silence: the headline and its row say so.
        const gone = filesIn(audio)[0];
        rmSync(join(audio, gone));
        assert.match(await convert(page), /^Conversion complete with gaps: \d+ stretch(es)? of audio could not be read/);
        await page.click('#sheet-button');
        const status = await page.evaluate((file) => Array.from(document.querySelectorAll('#takes-list tr'))
          .find((r) => r.cells[0].textContent === file).cells[1].textContent, gone);
        assert.match(status, /^written as silence/);
        // The output stays in the page's storage, shown with a button that clears it.
        assert.match(await text(page, '#kept-text'), /^This page keeps [1-9][\d.]* MB/);
        await page.click('#kept-clear');
        await waitFor(page, () => document.getElementById('kept').hidden);
        assert.equal(await page.evaluate(async () => {
          const names = [];
          for await (const key of (await navigator.storage.getDirectory()).keys()) names.push(key);
          return names.length;
        }), 0);
      }
      rmSync(project, { recursive: true });
      await page.close();
    });

    test('a take past 4 GiB is read right at its end', { skip: !roomy && 'less than 6 GB free' },
      async () => {
        const project = join(work, 'Far Session');
        mkdirSync(join(project, 'Audio Files'), { recursive: true });
        writeFarTake(join(project, 'Audio Files', 'Far Take.wav'));
        const page = await openPage(browser, '?save=download');
        await loadProject(page, project);
        assert.equal(await convert(page), 'Conversion complete...');
        const downloads = temporaryDirectory('far');
        const [file] = await saveDownloads(page, downloads);
        proj2wav('convert', project, '-o', join(downloads, 'cli.wav'), '--quiet');
        assertSameAudio(file, join(downloads, 'cli.wav'));
        rmSync(downloads, { recursive: true });
        rmSync(project, { recursive: true });
        await page.close();
      });

    test('a dropped file is answered, and the folder input\'s question is announced', async () => {
      const page = await openPage(browser, '?save=download');
      // Where there is no folder picker, the browser asks before the folder input
      // takes a folder (Firefox: "upload all files?"): the page says so first.
      assert.equal(await page.evaluate(() => !document.getElementById('upload-note').hidden),
        name !== 'chromium');
      await page.evaluate(() => {
        const dropped = new DataTransfer();
        dropped.items.add(new File(['RIFF'], 'Take 01.wav'));
        document.dispatchEvent(new DragEvent('drop', { dataTransfer: dropped, cancelable: true }));
      });
      await waitFor(page, () => document.getElementById('alert').open);
      assert.match(await text(page, '#alert-text'), /^Drop the project folder, not a file/);
      if (name === 'chromium') {
        // A folder with no file: the browser tells no name, and the page says what it saw.
        await page.click('#alert-ok');
        const empty = temporaryDirectory('empty');
        mkdirSync(join(empty, 'Audio Files'));
        await loadProject(page, empty);
        assert.equal(await text(page, '#project-name'), 'a folder with no file');
        assert.equal(await text(page, '#status-reason'), 'the folder holds no file');
        rmSync(empty, { recursive: true });
      }
      // The folder input names no empty folder: an "Audio Files" without a file
      // may be empty or missing, and the page says so.
      const bare = temporaryDirectory('bare');
      mkdirSync(join(bare, 'Audio Files'));
      writeFileSync(join(bare, 'notes.txt'), '');
      await page.pickFolder(bare);
      await waitFor(page, () => /is empty or missing/.test(document.getElementById('status-reason').textContent));
      assert.equal(await text(page, '#status-reason'), `"${bare.split('/').at(-1)}/Audio Files" is empty `
        + 'or missing (a browser\'s folder input shows no empty folder)');
      rmSync(bare, { recursive: true });
      await page.close();
    });
  });
}

// WebKitGTK's MiniBrowser as Debian ships it: its storage for pages is off
// unless switched on, and a driven session's profile is ephemeral, as a private
// window's, where the engine refuses the page that storage altogether.
for (const [state, features, words] of [
  ['switched off', [], /keeps no storage for web pages, or has it switched off/],
  ['on, in a private profile', kWebKitStorage, /refuses the page the storage .* as private windows do/],
]) {
  test(`WebKitGTK's MiniBrowser with its storage ${state}: the page says why it cannot convert`,
    { skip: !kBrowsers.includes('webkit') && 'WebKit is not among WEB_BROWSERS' }, async () => {
      const browser = await startBrowser('webkit', { features, miniBrowser: true });
      try {
        await assert.rejects(openPage(browser, '?save=download'), words);
      } finally {
        await browser.close();
      }
    });
}

test('Chromium without the page\'s storage: ?save=download points to the Save dialog',
  { skip: !kBrowsers.includes('chromium') && 'Chromium is not among WEB_BROWSERS' }, async () => {
    const browser = await startBrowser('chromium');
    try {
      await browser.prependTo('worker.js', 'delete StorageManager.prototype.getDirectory;\n');
      await assert.rejects(openPage(browser, '?save=download'),
        /^Error: Outputs cannot be offered as downloads here: .* Saving through the Save dialog works/);
    } finally {
      await browser.close();
    }
  });

// An RF64 take whose chunks before its audio span 4.25 GiB of a sparse file:
// reading it needs every offset past 4 GiB exact on its way into the browser.
function writeFarTake(path) {
  const chunk = (id, size, payload = Buffer.alloc(0)) => {
    const head = Buffer.alloc(8);
    head.write(id, 0, 'latin1');
    head.writeUInt32LE(size, 4);
    return Buffer.concat([head, payload]);
  };
  const rate = 48000;
  const frames = rate;
  const samples = Buffer.alloc(frames * 4);
  for (let i = 0; i < frames * 2; i += 1) samples.writeInt16LE(((i * 7919) % 65536) - 32768, i * 2);
  const fmt = Buffer.alloc(16);
  fmt.writeUInt16LE(1, 0);
  fmt.writeUInt16LE(2, 2);
  fmt.writeUInt32LE(rate, 4);
  fmt.writeUInt32LE(rate * 4, 8);
  fmt.writeUInt16LE(4, 12);
  fmt.writeUInt16LE(16, 14);
  const bext = Buffer.alloc(602);
  bext.write('2026-03-14', 320, 'latin1');
  bext.write('10:00:00', 330, 'latin1');
  bext.writeUInt32LE(rate * 5, 338);  // five seconds into the timeline
  const junk = [0xf0000000, 0x10000000];
  const tail = Buffer.concat([chunk('fmt ', 16, fmt), chunk('bext', 602, bext),
    chunk('data', 0xffffffff, samples)]);
  const size = 12 + 36 + junk[0] + junk[1] + 16 + tail.length;
  const ds64 = Buffer.alloc(28);
  ds64.writeBigUInt64LE(BigInt(size - 8), 0);
  ds64.writeBigUInt64LE(BigInt(samples.length), 8);
  ds64.writeBigUInt64LE(BigInt(frames), 16);
  const head = Buffer.concat([Buffer.from('RF64\xff\xff\xff\xffWAVE', 'latin1'),
    chunk('ds64', 28, ds64), chunk('JUNK', junk[0])]);
  const fd = openSync(path, 'w');
  writeSync(fd, head, 0, head.length, 0);
  writeSync(fd, chunk('JUNK', junk[1]), 0, 8, head.length + junk[0]);
  writeSync(fd, tail, 0, tail.length, size - tail.length);
  closeSync(fd);
}

