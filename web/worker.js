// The page's worker: it runs the engine (proj2wav-engine.js, WebAssembly) on one
// thread, reads the picked takes through FileReaderSync and writes the outputs
// through sinks (sinks.js). A conversion runs block by block in a loop that gives
// the worker's other messages a turn every few milliseconds, so that Cancel gets
// in between two blocks and the writes of a Save-dialog file get their promises.

'use strict';

// Table paths: the project under its folder's name, outputs under a root of their
// own.
const kOutputRoot = '/.proj2wav-outputs';

// ---- Reading the picked takes ----

// Reads go through a few windows of bytes, one per take being read. The first
// windows of a take are read at once (the chunk walk reads a header or two, and
// the samples start with a short window). While a take is read straight on, the
// browser fetches the windows that follow (kAhead of them, kWindowBytes each)
// while the engine works, into buffers that are used again and again, so that a
// long run leaves no heap of dead buffers behind for the collector. The run
// waits for the next window (ready) only when the engine is about to need it.
const kFirstWindow = 64 << 10;
const kWindowBytes = 8 << 20;
const kWindows = 4;
const kAhead = 2;
// More than the engine reads from one take in one turn of the run.
const kTurnBytes = 2 << 20;
// How long the run waits for a window fetched ahead before it reads the window
// at once instead: a stream of the browser's has been seen to stall for good.
const kPatienceMs = 2000;

// Fills `buffer` from `blob` through the stream's own reader where the browser
// has one, so that the bytes land in the buffer and no new one is made; else
// through a new buffer. `fetch.reader` is the reader, for a cancel. Resolves with
// a view of the bytes that arrived.
async function fetchInto(blob, buffer, fetch) {
  try {
    fetch.reader = blob.stream().getReader({ mode: 'byob' });
  } catch {
    return new Uint8Array(await blob.arrayBuffer());
  }
  let got = 0;
  let done = false;
  while (!done && got < buffer.byteLength) {
    const result = await fetch.reader.read(new Uint8Array(buffer, got));
    done = result.done;
    if (result.value) {
      buffer = result.value.buffer;
      got += result.value.length;
    }
  }
  // A stream left open holds on to what the browser reads it with: close it.
  if (!done) await fetch.reader.cancel();
  return new Uint8Array(buffer, 0, got);
}

class TakeReader {
  constructor() {
    this.files = [];
    // {id, start, bytes, used: the end of what was read, ahead: the windows that
    // follow, each {start, bytes (null until it has arrived), arrived}}; the
    // most recently used last
    this.windows = [];
    this.spare = [];  // buffers of kWindowBytes to fetch into
    this.reader = new FileReaderSync();
  }

  reset(files = this.files) {
    for (const window of this.windows) this.release(window);
    this.files = files;
    this.windows = [];
  }

  // A window's buffer takes new bytes once nothing reads from it.
  release(window) {
    if (window.fetched) this.spare.push(window.bytes.buffer);
  }

  // Copies the bytes at `offset` into `destination`: the bytes copied (fewer at
  // the end of the file), or -1 when the file cannot be read.
  read(id, offset, destination) {
    let done = 0;
    while (done < destination.length) {
      const at = offset + done;
      let window = this.windows.find(
        (w) => w.id === id && at >= w.start && at < w.start + w.bytes.length);
      if (!window) window = this.load(id, at, destination.length - done);
      if (!window) return done > 0 ? done : -1;
      this.windows.splice(this.windows.indexOf(window), 1);
      this.windows.push(window);
      const from = at - window.start;
      const got = Math.min(destination.length - done, window.bytes.length - from);
      if (got <= 0) break;  // the end of the file
      destination.set(window.bytes.subarray(from, from + got), done);
      window.used = Math.max(window.used, from + got);
      done += got;
    }
    return done;
  }

  // A new window at `offset` for a read of `count` bytes: the one fetched ahead
  // when it has arrived, else one read now. Null when the file cannot be read
  // (changed or removed since it was picked).
  load(id, offset, count) {
    const file = this.files[id];
    if (!file) return null;
    const before = this.windows.find((w) => w.id === id && w.start + w.bytes.length === offset);
    let ahead = before ? before.ahead : [];
    let bytes = null;
    let fetched = false;
    if (ahead.length > 0 && ahead[0].start === offset && ahead[0].bytes) {
      bytes = ahead.shift().bytes;
      fetched = bytes.buffer.byteLength === kWindowBytes;
    } else {
      ahead = [];
      const size = Math.max(count, before ? 2 * before.bytes.length : kFirstWindow);
      try {
        bytes = new Uint8Array(this.reader.readAsArrayBuffer(file.slice(offset, offset + size)));
      } catch {
        return null;
      }
    }
    if (before) {
      this.windows.splice(this.windows.indexOf(before), 1);
      this.release(before);
    }
    if (this.windows.length >= kWindows) this.release(this.windows.shift());
    const window = { id, start: offset, bytes, used: 0, ahead, fetched };
    this.windows.push(window);
    // Straight on into a take: fetch what follows meanwhile.
    if (before) this.fetchAhead(window, file);
    return window;
  }

  fetchAhead(window, file) {
    const { ahead } = window;
    const last = ahead[ahead.length - 1];
    let end = last ? last.start + kWindowBytes : window.start + window.bytes.length;
    while (ahead.length < kAhead && end < file.size) {
      const next = { start: end, bytes: null };
      const buffer = this.spare.pop() || new ArrayBuffer(kWindowBytes);
      next.arrived = fetchInto(file.slice(end, end + kWindowBytes), buffer, next).then(
        (bytes) => { next.bytes = bytes; },
        () => { next.start = -1; });  // read again, at once, when it is needed
      ahead.push(next);
      end += kWindowBytes;
    }
  }

  // Resolves once every window about to run out has its successor, or has
  // waited kPatienceMs for it; such a successor is then read at once.
  ready() {
    const late = this.windows.filter((w) => w.ahead.length > 0 && !w.ahead[0].bytes
      && w.bytes.length - w.used < kTurnBytes).map((w) => w.ahead[0]);
    if (late.length === 0) return null;
    let timer;
    const patience = new Promise((resolve) => { timer = setTimeout(resolve, kPatienceMs); });
    return Promise.race([Promise.all(late.map((next) => next.arrived)), patience]).then(() => {
      clearTimeout(timer);
      for (const next of late.filter((n) => !n.bytes)) {
        next.start = -1;
        if (next.reader) next.reader.cancel().catch(() => {});
      }
    });
  }
}

// ---- The engine ----

let engine;
const takes = new TakeReader();
let sinks = [];
// How outputs are kept in the page's own storage (storageRoute() in sinks.js).
let storage = { route: '' };

function callString(name, ...args) {
  const types = args.map((a) => (typeof a === 'string' ? 'string' : 'number'));
  return engine.ccall(name, 'string', types, args);
}

function callJson(name, ...args) {
  return JSON.parse(callString(name, ...args));
}

async function start(writerPort) {
  try {
    engine = await createProj2wavEngine({
      disk: {
        read: (id, offset, destination) => takes.read(id, offset, destination),
        write: (sink, offset, bytes) => sinks[sink].write(offset, bytes),
        length: (sink) => (sinks[sink] ? sinks[sink].length() : -1),
        truncate: (sink, length) => sinks[sink].truncate(length),
      },
    });
  } catch (error) {
    postMessage({ type: 'unsupported', reason: `the engine could not load (${error.message})` });
    return;
  }
  StorageWriter.connect(writerPort);
  storage = await storageRoute();
  self.onmessage = ({ data }) => handle(data);
  postMessage({ type: 'ready', texts: callJson('proj2wav_texts'), storage });
}

// The user's Cancel, which may come while the outputs are still being opened.
let stopAsked = false;

async function handle(request) {
  if (request.type === 'stop') {
    stopAsked = true;
    engine._proj2wav_stop();
    return;
  }
  try {
    const result = await requests[request.type](request);
    postMessage({ id: request.id, result });
  } catch (error) {
    postMessage({ id: request.id, error: error.message || String(error) });
  }
}

const requests = {
  // Loads a project: `name` is its folder's name, `files` the files under it,
  // each with its path relative to that folder ("Audio Files/Take 01.wav"), and
  // `audioFolder` whether its "Audio Files" folder was seen (true), is not there
  // (false) or cannot be told (undefined). The engine finds them under the
  // folder's name.
  open({ name, files, audioFolder }) {
    engine._proj2wav_forget_files();
    takes.reset(files.map((f) => f.file));
    files.forEach((f, id) => {
      engine.ccall('proj2wav_add_file', null, ['string', 'number', 'number'],
        [`${name}/${f.path}`, f.file.size, id]);
    });
    return callJson('proj2wav_load', name, { true: 1, false: 0 }[audioFolder] ?? 2);
  },

  // A folder that may hold projects at any depth: `root` is its name, `folders`
  // the paths of the folders in it, `files` the files of its "Audio Files"
  // folders, each with its path from the root on. Returns the projects found.
  openDisk(found) {
    disk = found;
    addDisk();
    return callJson('proj2wav_find_projects', disk.root);
  },

  // The projects found, with the status lines of the present settings.
  batchList() {
    return callJson('proj2wav_batch_list');
  },

  // Plans the batch of the `chosen` projects into the table folder `folder`, where
  // the files `existing` are; `toStorage`: the outputs are kept in the page's
  // storage for downloading, which must have room for them all.
  async batchPlan({ chosen, folder, existing, toStorage }) {
    addDisk();  // without the outputs of an earlier run
    let quotaFree = -1;
    if (toStorage) {
      await removeStoredOutputs();
      const { quota = 0, usage = 0 } = await (navigator.storage?.estimate?.() ?? {});
      quotaFree = quota > 0 ? Math.max(0, quota - usage) : -1;
    }
    return callJson('proj2wav_batch_plan', JSON.stringify(chosen), folder,
      JSON.stringify(existing), quotaFree);
  },

  // Converts the planned batch into `directory` (a folder chosen with the
  // directory picker) or, without one, into the page's storage.
  convertBatch({ directory }) {
    return convertBatch(directory);
  },

  // The page's settings ({bits, channels, ...}): returns the report for them.
  options({ settings }) {
    return callJson('proj2wav_set_options', JSON.stringify(settings));
  },

  names({ left }) {
    return callJson('proj2wav_proposed_names', left || '');
  },

  outputRefusal({ isTake, inAudioFiles, name }) {
    return callString('proj2wav_output_refusal', isTake ? 1 : 0, inAudioFiles ? 1 : 0, name);
  },

  // Room in the page's own storage for the output at the present settings: ""
  // or the refusal. Outputs of earlier runs are removed first.
  async room() {
    await removeStoredOutputs();
    if (!navigator.storage || !navigator.storage.estimate) return '';
    const { quota = 0, usage = 0 } = await navigator.storage.estimate();
    return callString('proj2wav_quota_refusal', Math.max(0, quota - usage));
  },

  // Converts into `handles` (files chosen in Save dialogs) or, without them, into
  // files of the page's own storage that the page then offers as downloads.
  // `names` are the outputs' names for people.
  convert({ handles, names }) {
    return convert(handles, names);
  },
};

// The folder of projects opened last: {root, folders, files} (see openDisk).
let disk = null;

// Hands the engine the folder of projects anew, in place of all it had.
function addDisk() {
  engine._proj2wav_forget_files();
  takes.reset(disk.files.map((f) => f.file));
  for (const folder of disk.folders) engine.ccall('proj2wav_add_folder', null, ['string'], [folder]);
  disk.files.forEach((f, id) => {
    engine.ccall('proj2wav_add_file', null, ['string', 'number', 'number'], [f.path, f.file.size, id]);
  });
}

// ---- A conversion ----

// Gives the worker's queued messages (Cancel) a turn.
function yieldToMessages() {
  return new Promise((resolve) => {
    const channel = new MessageChannel();
    channel.port1.onmessage = () => resolve();
    channel.port2.postMessage(null);
  });
}

let storedCount = 0;
const kPageId = Math.random().toString(36).slice(2, 10);
let storedNames = [];

// Removes the outputs kept in the page's storage, those from the `from`th on.
async function removeStoredOutputs(from = 0) {
  if (storedNames.length <= from) return;
  const root = await navigator.storage.getDirectory();
  for (const name of storedNames.slice(from)) {
    await root.removeEntry(name).catch(() => {});
  }
  storedNames = storedNames.slice(0, from);
}

async function openSinks(handles, names) {
  if (handles) {
    const exact = storage.exact ? storage.exact.stream : true;
    return Promise.all(handles.map((h) => StreamSink.open(h, exact)));
  }
  await removeStoredOutputs();
  return Promise.all(names.map(() => openStoredSink()));
}

// A new file of the page's storage for an output, named for this page alone:
// another tab of the page keeps outputs of its own.
function openStoredSink() {
  const name = `output-${kPageId}-${++storedCount}.wav`;
  storedNames.push(name);
  return StreamSink.openStored(name, storage);
}

async function flushAll() {
  for (const sink of sinks) if (sink.needsFlush()) await sink.flush();
}

function sinkFailure() {
  const failed = sinks.find((s) => s.failure);
  return failed ? failed.failure : null;
}

function failureText(error) {
  if (!error) return '';
  if (error.name === 'QuotaExceededError') return 'out of quota';
  return error.message || error.name;
}

async function convert(handles, names) {
  stopAsked = false;
  try {
    sinks = await openSinks(handles, names);
  } catch (error) {
    sinks = [];
    return { ok: false, started: false, text: callJson('proj2wav_texts').failed,
      details: `The output could not be opened: ${error.message}` };
  }
  const paths = sinks.map((_, i) => `${kOutputRoot}/${i}/${names[i]}`);
  paths.forEach((path, i) => engine.ccall('proj2wav_add_output', null, ['string', 'number'],
    [path, i]));

  const refusal = callString('proj2wav_begin', paths[0], paths[1] || '');
  let result;
  if (refusal) {
    result = { ok: false, started: false, text: refusal, details: '' };
  } else {
    if (stopAsked) engine._proj2wav_stop();  // preparing the run cleared it
    result = await runBlocks();
    result.started = true;
  }
  const closing = await closeSinks();
  if (closing && result.ok) {
    Object.assign(result, { ok: false, text: callJson('proj2wav_texts').failed,
      details: `The output could not be finished: ${failureText(closing)}` });
  }
  result.stored = handles ? [] : storedNames.slice();
  return result;
}

// Closes the run's outputs: the first failure, or null.
async function closeSinks() {
  let failure = null;
  for (const sink of sinks) {
    try {
      await sink?.close();
    } catch (error) {
      failure = failure || error;
    }
  }
  sinks = [];
  return failure;
}

// The batch planned (proj2wav_batch_plan), a project at a time. Each output is
// made here, in `directory` where there is none of its name (one that appeared
// since the plan is left alone and its project refused), or in the page's
// storage; the engine then checks and writes it. Returns the report, with the
// stored outputs' files of the page's storage and their names.
async function convertBatch(directory) {
  stopAsked = false;
  const stored = [];
  for (let next = callJson('proj2wav_batch_next'); next.index >= 0;
    next = callJson('proj2wav_batch_next')) {
    const names = next.outputs.map((path) => path.slice(path.lastIndexOf('/') + 1));
    const made = [];
    let allMade = true;
    sinks = [];
    const firstStored = storedNames.length;
    for (let i = 0; i < names.length; i += 1) {
      try {
        if (directory && await directory.getFileHandle(names[i]).then(() => true, () => false)) {
          allMade = false;
          engine.ccall('proj2wav_add_file', null, ['string', 'number', 'number'], [next.outputs[i], 0, -1]);
          continue;
        }
        const sink = directory
          ? await StreamSink.open(await directory.getFileHandle(names[i], { create: true }),
            storage.exact ? storage.exact.stream : true)
          : await openStoredSink();
        made.push(names[i]);
        sinks.push(sink);
        engine.ccall('proj2wav_add_output', null, ['string', 'number'], [next.outputs[i], sinks.length - 1]);
      } catch {
        allMade = false;  // the engine cannot create it, and says so
      }
    }
    const refusal = callString('proj2wav_batch_start', allMade ? 1 : 0);
    if (refusal) {
      await closeSinks();
      for (const name of made) if (directory) await directory.removeEntry(name).catch(() => {});
      await removeStoredOutputs(firstStored);
      continue;
    }
    if (stopAsked) engine._proj2wav_stop();
    await runBlocks(kBatchRun);
    // A file whose last batch did not arrive fails its project.
    const closing = await closeSinks();
    callString('proj2wav_batch_finish', closing ? 1 : 0, failureText(closing));
    if (!directory) {
      storedNames.slice(firstStored).forEach((file, i) => stored.push({ file, name: names[i] }));
    }
  }
  return { ...callJson('proj2wav_batch_report'), stored };
}

// A single project's run: its progress, and its end (proj2wav_end).
const kSingleRun = {
  progress(seconds) {
    const percent = engine._proj2wav_progress();
    return { percent, figures: callString('proj2wav_progress_text', percent, seconds) };
  },
  end: (failed, why) => callJson('proj2wav_end', failed, why),
};

// A project of a batch: the progress of the whole batch and of the project.
const kBatchRun = {
  progress(seconds) {
    const now = callJson('proj2wav_batch_progress', seconds);
    return { percent: now.overall, current: now.current, figures: now.text };
  },
  end: (failed, why) => engine.ccall('proj2wav_batch_end', null, ['number', 'string'], [failed, why]),
};

// Runs the session begun, block by block; `run` reports its progress and ends
// it: returns what run.end returned.
async function runBlocks(run = kSingleRun) {
  // The windows of the project's load or of an earlier run are of no use now.
  takes.reset();
  const started = performance.now();
  let lastTurn = started;
  let lastReport = 0;
  let state = 1;
  while (state === 1) {
    const reading = takes.ready();
    if (reading) await reading;
    state = engine._proj2wav_step(4);
    const now = performance.now();
    // The outputs take their batches between blocks.
    await flushAll();
    if (sinkFailure()) {
      state = -1;
      break;
    }
    if (now - lastTurn > 20) {
      await yieldToMessages();
      lastTurn = performance.now();
    }
    if (now - lastReport > 250) {
      lastReport = now;
      postMessage({ type: 'progress', ...run.progress((now - started) / 1000) });
    }
  }
  // Everything rendered reaches the sinks before the headers are finished, so
  // that a header never claims more than arrived.
  for (const sink of sinks) await sink.drain();
  takes.reset();  // their memory can go
  const failure = sinkFailure();
  return run.end(state === -1 || failure ? 1 : 0, failureText(failure));
}

// ---- Start-up ----

// Last of all, once every name above is declared: Firefox checks that `engine`
// is declared when it reaches `engine = await ...` in start(), not when the load
// has been awaited, and a call of start() above the declaration failed there.
const missing = [];
if (typeof FileReaderSync === 'undefined') missing.push('FileReaderSync in workers');
if (typeof WebAssembly === 'undefined') missing.push('WebAssembly');
if (missing.length > 0) {
  postMessage({ type: 'unsupported', reason: `it lacks ${missing.join(' and ')}` });
} else {
  importScripts('sinks.js', 'proj2wav-engine.js');
  // The page's first message starts the engine, with a port to the writer worker.
  self.onmessage = ({ data }) => start(data.writer);
}
