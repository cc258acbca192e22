// Driven by bench/web.sh: converts PROJECT to 16-bit stereo on the page in
// headless Chromium, once to warm up and then RUNS times, and prints one JSON
// line: the best wall time from Convert to the outcome, the CPU seconds of all
// of Chromium's processes in that run, the peak memory of the page's renderer
// process (the page and its workers), resident and private, the peak private
// memory of all processes together, over every run, and
// the output of the last run, saved as OUTPUT for the script to check.
//   node bench/web.mjs PROJECT RUNS OUTPUT
import { readFileSync, readdirSync, renameSync } from 'node:fs';
import { dirname } from 'node:path';
import {
  convert, loadProject, openPage, saveDownloads, startBrowser,
} from '../tests/web/support.mjs';

const [project, runs, output] = [process.argv[2], Number(process.argv[3] || 3), process.argv[4]];
const kTicksPerSecond = 100;  // USER_HZ, as /proc/<pid>/stat counts
const kPageBytes = 4096;

// Chromium's processes of this profile: CPU ticks, resident bytes, and the
// private part of them (what is not the program's code and files mapped in).
function chromiumProcesses(profile) {
  const found = [];
  for (const pid of readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
    try {
      const command = readFileSync(`/proc/${pid}/cmdline`, 'latin1');
      if (!command.includes(profile)) continue;
      const stat = readFileSync(`/proc/${pid}/stat`, 'latin1');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      const status = readFileSync(`/proc/${pid}/status`, 'latin1');
      const kib = (key) => Number((status.match(new RegExp(`${key}:\\s+(\\d+)`)) || [0, 0])[1]);
      found.push({
        renderer: command.includes('--type=renderer'),
        ticks: Number(fields[11]) + Number(fields[12]),
        rss: kib('VmRSS') * 1024,
        private: (kib('RssAnon') + kib('RssShmem')) * 1024,
      });
    } catch {
      // gone meanwhile
    }
  }
  return found;
}

const browser = await startBrowser();
const page = await openPage(browser, '?save=download');
await loadProject(page, project);
let best = null;
// The page's renderer is the largest one: it holds the page, its worker and the
// writer worker.
let peakRenderer = 0;
let peakRendererPrivate = 0;
let peakAll = 0;
for (let run = 0; run <= runs; run += 1) {
  const ticksBefore = chromiumProcesses(browser.profile).reduce((sum, p) => sum + p.ticks, 0);
  const sample = () => {
    const processes = chromiumProcesses(browser.profile);
    for (const p of processes.filter((q) => q.renderer)) {
      peakRenderer = Math.max(peakRenderer, p.rss);
      peakRendererPrivate = Math.max(peakRendererPrivate, p.private);
    }
    peakAll = Math.max(peakAll, processes.reduce((total, p) => total + p.private, 0));
  };
  const sampler = setInterval(sample, 50);
  const started = performance.now();
  const outcome = await convert(page);
  const seconds = (performance.now() - started) / 1000;
  clearInterval(sampler);
  sample();
  const ticks = chromiumProcesses(browser.profile).reduce((sum, p) => sum + p.ticks, 0)
    - ticksBefore;
  if (outcome !== 'Conversion complete...') throw new Error(`the page said: ${outcome}`);
  if (run > 0 && (!best || seconds < best.seconds)) best = { seconds, cpuSeconds: ticks / kTicksPerSecond };
  if (run === runs) {
    const [file] = await saveDownloads(page, dirname(output));
    renameSync(file, output);
  }
  await page.click('#sheet-button');  // Ok: the sheet goes
}
await browser.close();
console.log(JSON.stringify({ ...best, peakRenderer, peakRendererPrivate, peakAll }));
