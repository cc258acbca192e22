// The page: what the window offers, in a browser. The engine runs in a worker
// (engine.js, worker.js); this module wires the controls to it, asks for output
// files, shows the progress sheet and offers the results.

import { Engine } from './engine.js';
import * as project from './project.js';
import {
  chosenProjects, markSilenced, showProjects, showReport, showStatus, showTakes, showTimeline,
} from './view.js';

const $ = (id) => document.getElementById(id);

let engine;
let texts;
let current = null;  // the project: {name, files, audioFolder, audioHandle?}
let loaded = false;  // the last load found a valid project
// A folder of projects, listed instead of a project: {name, handle?}.
let disk = null;
// 'choosing' (Convert was pressed: outputs are being asked for), 'converting',
// 'done', 'cancelled'.
let sheetState = 'closed';
let downloadUrls = [];

// The Save dialog streams the output to the user's file where the browser has it;
// elsewhere, and with ?save=download, the output is kept in the page's storage
// and offered as a download.
const streaming = typeof window.showSaveFilePicker === 'function'
  && new URLSearchParams(location.search).get('save') !== 'download';
// The outputs of a folder of projects go into a folder chosen with the directory
// picker, written as they are made; elsewhere they are offered as downloads.
const toFolder = streaming && typeof window.showDirectoryPicker === 'function';

// ---- Start-up ----

function missingFeatures() {
  const missing = [];
  if (typeof Worker === 'undefined') missing.push('Web Workers');
  if (typeof WebAssembly === 'undefined') missing.push('WebAssembly');
  return missing;
}

// Where outputs cannot be kept in the page's own storage, only the Save dialog
// can take them: why not, by the engine's storage refusal.
const kNoStorage = {
  off: 'it keeps no storage for web pages, or has it switched off, and the page needs it to '
    + 'hold the output until it is downloaded (WebKitGTK browsers keep it off unless their '
    + 'features “Storage API”, “File System API”, “AccessHandle API” and “File System '
    + 'WritableStream” are on)',
  refused: 'it refuses the page the storage it needs to hold the output until it is '
    + 'downloaded, as private windows do: open the page in a normal window',
};
// A drop of files: the page cannot see the folder a file comes from.
const kDropFolder = 'Drop the project folder, not a file: the page cannot see which folder '
  + 'a file comes from.';

function unsupported(reason) {
  $('starting').hidden = true;
  $('app').hidden = true;
  const message = $('unsupported');
  message.textContent = `This browser cannot run proj2wav: ${reason}. `
    + 'A current Chromium, Chrome, Edge, Firefox or Safari can.';
  message.hidden = false;
}

async function start() {
  // The service worker keeps the site for visits without a network (sw.js).
  navigator.serviceWorker?.register('sw.js').catch(() => {});
  navigator.serviceWorker?.addEventListener('message', ({ data }) => {
    if (data?.type === 'downloaded') downloaded(data.file);
  });
  const missing = missingFeatures();
  if (missing.length > 0) {
    unsupported(`it lacks ${missing.join(', ')}`);
    return;
  }
  try {
    engine = await Engine.start();
  } catch (error) {
    unsupported(error.message);
    return;
  }
  if (!streaming && !engine.storage.route) {
    if (typeof window.showSaveFilePicker !== 'function') {
      unsupported(kNoStorage[engine.storage.refusal]);
      return;
    }
    // Only the download route was asked for (?save=download): the Save dialog's works.
    $('starting').hidden = true;
    const message = $('unsupported');
    message.textContent = `Outputs cannot be offered as downloads here: this browser ${
      kNoStorage[engine.storage.refusal].replace(/^it /, '')}. Saving through the Save dialog works: `;
    const link = document.createElement('a');
    link.href = location.pathname;
    link.textContent = 'open the page without “?save=download”';
    message.append(link, '.');
    message.hidden = false;
    return;
  }
  texts = engine.texts;
  project.useEngineNames(texts);
  engine.onProgress = showProgress;
  for (const span of document.querySelectorAll('[data-width]')) {
    span.textContent = texts.widths[span.dataset.width];
  }
  for (const span of document.querySelectorAll('[data-channels]')) {
    span.textContent = texts.channelNames[span.dataset.channels];
  }
  for (const span of document.querySelectorAll('[data-text]')) {
    span.textContent = texts[span.dataset.text];
  }
  $('markers').parentElement.title = texts.markersHelp;
  $('alert-ok').textContent = texts.alertButton;
  $('convert-all').textContent = texts.convertAll;
  // Browsers without the folder picker ask before they give the folder input a
  // folder (Firefox: "Are you sure you want to upload all files ...?").
  $('upload-note').hidden = typeof window.showDirectoryPicker === 'function';
  wireControls();
  await clearLeftovers().then(showKept).catch(() => {});  // a nicety: never in the way of a start
  // The choices a reloaded page kept.
  showStatus(await engine.call('options', { settings: settings() }), texts);
  showMode();
  $('starting').hidden = true;
  $('app').hidden = false;
}

function wireControls() {
  $('open').addEventListener('click', chooseFolder);
  $('project').addEventListener('change', (event) => {
    open(project.fromFileList(event.target.files));
  });
  for (const input of document.querySelectorAll('input[name=bits], input[name=channels], #markers')) {
    input.addEventListener('change', updateSettings);
  }
  $('convert').addEventListener('click', convert);
  $('convert-all').addEventListener('click', convertAll);
  $('projects-list').addEventListener('change', () => {
    $('convert-all').disabled = chosenProjects().length === 0;
  });
  // Leaving the page during a run loses the output: the browser asks first. When
  // the user leaves all the same, the run is asked to stop, so that its files are
  // finished shorter where the browser gives the worker the time.
  window.addEventListener('beforeunload', (event) => {
    if (sheetState !== 'choosing' && sheetState !== 'converting') return;
    event.preventDefault();
    event.returnValue = '';
  });
  window.addEventListener('pagehide', () => {
    if (sheetState === 'converting') engine.stop();
  });
  $('sheet-button').addEventListener('click', pressSheetButton);
  // Escape closes the sheet once the run is over, never during it.
  $('sheet').addEventListener('cancel', (event) => {
    event.preventDefault();
    if (sheetState === 'done' || sheetState === 'cancelled') closeSheet();
  });
  $('alert-ok').addEventListener('click', () => $('alert').close());
  $('kept-clear').addEventListener('click', async () => {
    if (sheetState !== 'closed') return;
    for (const url of downloadUrls) URL.revokeObjectURL(url);
    downloadUrls = [];
    await clearKept();
    await showKept();
  });
  document.addEventListener('dragover', (event) => {
    event.preventDefault();
    document.body.classList.add('dropping');
  });
  document.addEventListener('dragleave', () => document.body.classList.remove('dropping'));
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    document.body.classList.remove('dropping');
    if (sheetState !== 'closed') return;
    const dropped = project.fromDrop(event.dataTransfer);
    if (dropped) dropped.then((p) => (p ? open(p) : alertMessage(kDropFolder)));
  });
}

// ---- The project ----

async function chooseFolder() {
  if (typeof window.showDirectoryPicker !== 'function') {
    $('project').click();
    return;
  }
  let directory;
  try {
    directory = await window.showDirectoryPicker({ id: 'proj2wav-project' });
  } catch (error) {
    if (error.name !== 'AbortError') $('project').click();  // e.g. not allowed here
    return;
  }
  open(await project.fromDirectoryHandle(directory));
}

// The page is busy (aria-busy) while the engine loads a project or converts.
function setBusy(busy) {
  $('app').setAttribute('aria-busy', String(busy));
}

// A project, or a folder that may hold projects at any depth: the projects found
// are listed; without any, the folder is loaded as a project, which says why it
// is none.
async function open(chosen) {
  if (!chosen.audioFolder && chosen.disk) {
    setBusy(true);
    const found = await engine.call('openDisk', await chosen.disk());
    setBusy(false);
    if (found.projects.length > 0) {
      showDisk(chosen, found.projects);
      return;
    }
  }
  await load(chosen);
}

// What the page offers: one project with its status, timeline and takes, or the
// list of a folder's projects.
function showMode() {
  const many = Boolean(disk);
  $('projects').hidden = !many;
  $('convert-all').hidden = !many;
  $('convert').hidden = many;
  for (const id of ['status', 'timeline', 'takes', 'status-reason']) {
    if (many) $(id).hidden = true;
  }
  if (!many) $('status').hidden = false;
  if (many) {
    $('delivery').textContent = toFolder
      ? 'You choose a folder; each project\'s output is written into it as it is made.'
      : 'The outputs are offered as downloads when the run is over.';
  } else {
    $('delivery').textContent = streaming
      ? 'You choose where the output goes; it is written as it is made.'
      : 'The output is offered as a download when it is ready.';
  }
}

function showDisk(chosen, projects) {
  disk = { name: chosen.name, handle: chosen.handle };
  current = null;
  loaded = false;
  $('project-name').textContent = chosen.name;
  showProjects(projects, texts);
  $('convert-all').disabled = chosenProjects().length === 0;
  showMode();
}

async function load(chosen) {
  setBusy(true);
  disk = null;
  showMode();
  current = chosen;
  $('project-name').textContent = chosen.name || 'a folder with no file';
  const report = await engine.call('open',
    { name: chosen.name, files: chosen.files, audioFolder: chosen.audioFolder });
  loaded = report.valid;
  showStatus(report, texts);
  showTimeline(report);
  showTakes(report);
  $('convert').disabled = !loaded;
  setBusy(false);
}

function settings() {
  return {
    bits: Number(document.querySelector('input[name=bits]:checked').value),
    channels: document.querySelector('input[name=channels]:checked').value,
    markers: $('markers').checked,
  };
}

async function updateSettings() {
  setBusy(true);
  const report = await engine.call('options', { settings: settings() });
  if (disk) {
    // The status lines follow the format; the boxes stay as the user left them.
    showProjects((await engine.call('batchList')).projects, texts, new Set(chosenProjects()));
  } else {
    showStatus(report, texts);
  }
  setBusy(false);
}

// ---- Messages ----

function alertMessage(text) {
  $('alert-text').textContent = text;
  $('alert').showModal();
}

// ---- Output files ----

// A file chosen in a Save dialog, or null when the dialog was cancelled.
async function pickOutput(suggestedName) {
  try {
    return await window.showSaveFilePicker({
      suggestedName,
      id: 'proj2wav-output',
      types: [{ description: 'Broadcast WAVE', accept: { 'audio/wav': ['.wav'] } }],
    });
  } catch (error) {
    if (error.name === 'AbortError') return null;
    throw error;
  }
}

// The right file of dual mono. The dialog needs a fresh click when the left one
// took its time, so a small step asks for one then.
async function pickRightOutput(suggestedName) {
  try {
    return await pickOutput(suggestedName);
  } catch (error) {
    if (error.name !== 'SecurityError' && error.name !== 'NotAllowedError') throw error;
  }
  const step = $('right-step');
  $('right-step-text').textContent = `${texts.saveRightTitle}: ${suggestedName}`;
  step.showModal();
  return new Promise((resolve, reject) => {
    const finish = (value) => {
      step.close();
      $('right-step-choose').onclick = null;
      $('right-step-cancel').onclick = null;
      resolve(value);
    };
    $('right-step-cancel').onclick = () => finish(null);
    $('right-step-choose').onclick = () => pickOutput(suggestedName).then(finish, (error) => {
      step.close();
      reject(error);
    });
  });
}

// The Save dialogs' files for this run, checked; null when the user cancelled or
// a check refused (after saying why).
async function chooseStreamTargets() {
  const names = await engine.call('names', {});
  const first = await pickOutput(names[0]);
  if (!first) return null;
  const handles = [first];
  if (names.length > 1) {
    const right = await pickRightOutput((await engine.call('names', { left: first.name }))[1]);
    if (!right) return null;
    if (await first.isSameEntry(right)) {
      alertMessage(texts.sameNames);
      return null;
    }
    handles.push(right);
  }
  for (const handle of handles) {
    const place = await project.outputPlace(current, handle);
    const refusal = await engine.call('outputRefusal', { ...place, name: handle.name });
    if (refusal) {
      alertMessage(refusal);
      return null;
    }
  }
  return { handles, names: handles.map((h) => h.name) };
}

async function chooseDownloadTargets() {
  const refusal = await engine.call('room');
  if (refusal) {
    alertMessage(refusal);
    return null;
  }
  return { handles: null, names: await engine.call('names', {}) };
}

// ---- The page's storage ----

// The outputs kept in the page's storage for downloading: they stay until the
// next run, the Clear button, or the next time the page opens with no other tab
// of it open (one that may still offer its downloads).
async function keptRoot() {
  return navigator.storage?.getDirectory?.().catch(() => null) ?? null;
}

async function showKept() {
  const root = await keptRoot();
  let bytes = 0;
  if (root) {
    for await (const entry of root.values()) {
      if (entry.kind === 'file') bytes += (await entry.getFile().catch(() => ({ size: 0 }))).size;
    }
  }
  $('kept-text').textContent = `This page keeps ${(bytes / 1e6).toFixed(1)} MB of outputs in the browser's storage.`;
  $('kept').hidden = bytes === 0;
}

async function clearKept() {
  const root = await keptRoot();
  if (root) {
    for await (const name of root.keys()) await root.removeEntry(name, { recursive: true }).catch(() => {});
  }
}

async function clearLeftovers() {
  if (!navigator.locks) return;
  await navigator.locks.request('proj2wav-page', { ifAvailable: true }, (alone) => alone && clearKept());
  // Held while the page is open, so that another tab leaves this one's outputs alone.
  navigator.locks.request('proj2wav-page', { mode: 'shared' }, () => new Promise(() => {}));
}

// ---- Converting ----

async function convert() {
  // The run counts as started from the press on, before anything is awaited: a
  // second press meanwhile would start a second run and open a second Save dialog.
  if (!loaded || sheetState !== 'closed') return;
  sheetState = 'choosing';
  let targets;
  try {
    targets = streaming ? await chooseStreamTargets() : await chooseDownloadTargets();
  } catch (error) {
    targets = null;
    alertMessage(`${texts.failed} ${error.message}`);
  }
  if (!targets) {
    sheetState = 'closed';
    return;
  }

  openSheet();
  setBusy(true);
  const result = await engine.call('convert', targets).catch((error) => ({
    ok: false, started: false, text: texts.failed, details: error.message,
  }));
  await offerDownloads(result.stored || [], targets.names);
  markSilenced(result.silenced || [], texts);
  await showKept().catch(() => {});
  setBusy(false);
  if (!result.started) {
    closeSheet();
    alertMessage([result.text, result.details].filter(Boolean).join(' '));
    return;
  }
  if (sheetState === 'converting') {
    sheetState = 'done';
    $('progress').value = 100;
    $('outcome').textContent = result.text;
    $('sheet-button').textContent = texts.okButton;
  }
  $('figures').textContent = '';
  $('details').textContent = result.details;
  $('details').hidden = !result.details;
}

function openSheet(batch = false) {
  sheetState = 'converting';
  $('progress').value = 0;
  $('progress-project').value = 0;
  $('progress-project').hidden = !batch;
  $('report').hidden = true;
  $('outcome').textContent = texts.converting;
  $('figures').textContent = '';
  $('details').hidden = true;
  $('downloads').hidden = true;
  $('downloads').replaceChildren();
  $('sheet-button').textContent = texts.cancelButton;
  $('sheet').showModal();
}

function closeSheet() {
  sheetState = 'closed';
  $('sheet').close();
}

function showProgress({ percent, current, figures }) {
  if (sheetState !== 'converting') return;
  $('progress').value = Math.min(100, Math.max(0, percent));
  if (current !== undefined) $('progress-project').value = Math.min(100, Math.max(0, current));
  $('figures').textContent = figures.trim();
}

function pressSheetButton() {
  if (sheetState === 'converting') {
    sheetState = 'cancelled';
    $('progress').value = 0;
    $('outcome').textContent = texts.cancelled;
    $('figures').textContent = '';
    $('sheet-button').textContent = texts.okButton;
    engine.stop();
  } else {
    closeSheet();
  }
}

// ---- Converting a folder of projects ----

// Where the batch's outputs go: {directory, folder, existing}: the folder chosen
// with the directory picker, its path for the engine (under the disk's when it
// lies in it, so that the engine sees a folder of a project for what it is) and
// the names of the files in it; without the picker, the page's storage, where
// the outputs go by their names alone. Null when the user cancelled the picker.
async function chooseBatchFolder() {
  if (!toFolder) return { directory: null, folder: '', existing: [] };
  let directory;
  try {
    directory = await window.showDirectoryPicker({ id: 'proj2wav-outputs', mode: 'readwrite' });
  } catch (error) {
    if (error.name === 'AbortError') return null;
    throw error;
  }
  const inside = disk.handle ? await disk.handle.resolve(directory) : null;
  // Elsewhere it goes by its name, apart from the disk's folder of that name.
  const apart = directory.name === disk.name ? `/${directory.name}` : directory.name;
  const folder = inside ? [disk.name, ...inside].join('/') : apart;
  const existing = [];
  for await (const [name, entry] of directory.entries()) if (entry.kind === 'file') existing.push(name);
  return { directory, folder, existing };
}

async function convertAll() {
  // Counts as started from the press on, as Convert does.
  if (!disk || sheetState !== 'closed') return;
  const chosen = chosenProjects();
  if (chosen.length === 0) return;
  sheetState = 'choosing';
  let target;
  try {
    target = await chooseBatchFolder();
    if (target) {
      const plan = await engine.call('batchPlan', { chosen, folder: target.folder,
        existing: target.existing, toStorage: !target.directory });
      if (plan.refusal) {
        alertMessage(plan.refusal);
        target = null;
      }
    }
  } catch (error) {
    target = null;
    alertMessage(`${texts.failed} ${error.message}`);
  }
  if (!target) {
    sheetState = 'closed';
    return;
  }

  openSheet(true);
  setBusy(true);
  let report;
  try {
    report = await engine.call('convertBatch', { directory: target.directory });
  } catch (error) {
    report = { projects: [], stored: [], error: error.message };
  }
  await offerDownloads(report.stored.map((s) => s.file), report.stored.map((s) => s.name));
  await showKept().catch(() => {});
  setBusy(false);
  sheetState = 'done';
  $('outcome').textContent = report.error ? `${texts.failed} ${report.error}` : texts.batchDone;
  $('figures').textContent = '';
  $('sheet-button').textContent = texts.okButton;
  // The bar shows what was written; the project's own bar has nothing more to say.
  $('progress').value = report.overall || 0;
  $('progress-project').hidden = true;
  showReport(report.projects, texts);
}

// Links to the outputs kept in the page's storage; the previous run's go. Where
// the service worker serves the page, a link's download goes through it, which
// deletes the page's copy once the last byte has gone (sw.js); elsewhere the
// copies stay until the next run, the Clear button or the next visit.
async function offerDownloads(stored, names) {
  for (const url of downloadUrls) URL.revokeObjectURL(url);
  downloadUrls = [];
  if (stored.length === 0) return;
  const root = await navigator.storage.getDirectory();
  const list = $('downloads');
  for (let i = 0; i < stored.length; i += 1) {
    const url = URL.createObjectURL(await (await root.getFileHandle(stored[i])).getFile());
    downloadUrls.push(url);
    const link = document.createElement('a');
    link.href = url;
    link.download = names[i];
    link.dataset.file = stored[i];
    link.textContent = `Download ${names[i]}`;
    link.addEventListener('click', (event) => {
      if (!navigator.serviceWorker?.controller) return;
      // A download the service worker serves: a frame's navigation, which it
      // sees (a link's download attribute bypasses it in some browsers). The
      // frame stays: WebKit has been seen to drop a download whose frame went.
      event.preventDefault();
      const frame = document.createElement('iframe');
      frame.hidden = true;
      frame.src = `download/${encodeURIComponent(stored[i])}?name=${encodeURIComponent(names[i])}`;
      document.body.append(frame);
    });
    const item = document.createElement('li');
    item.append(link);
    list.append(item);
  }
  list.hidden = false;
}

// The service worker deleted a copy that was downloaded: its link says so.
function downloaded(file) {
  for (const link of document.querySelectorAll('#downloads a')) {
    if (link.dataset.file !== file) continue;
    const done = document.createElement('span');
    done.textContent = `${link.download}: downloaded, and the page's copy deleted`;
    link.replaceWith(done);
  }
  showKept().catch(() => {});
}

start();
