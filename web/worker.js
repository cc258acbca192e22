// The page's worker: it runs the engine (proj2wav-engine.js, WebAssembly) on one
// thread, reads the picked takes through FileReaderSync and writes the outputs
// through sinks (sinks.js). A conversion runs block by block in a loop that gives
// the worker's other messages a turn every few milliseconds, so that Cancel gets
// in between two blocks and the writes of a Save-dialog file get their promises.

'use strict';

const missing = [];
if (typeof FileReaderSync === 'undefined') missing.push('FileReaderSync in workers');
if (typeof WebAssembly === 'undefined') missing.push('WebAssembly');
if (missing.length > 0) {
  postMessage({ type: 'unsupported', reason: `it lacks ${missing.join(' and ')}` });
} else {
  importScripts('sinks.js', 'proj2wav-engine.js');
  start();
}

// Table paths: the project under "/<its name>", outputs under a root of their own.
const kOutputRoot = '/.proj2wav-outputs';

// ---- Reading the picked takes ----

// Reads go through a few windows of bytes, one per take being read. A window
// starts small (the chunk walk reads a header or two) and doubles while a take is
// read straight on. The window that follows is fetched while the engine works on
// the present one (prefetch), and the run waits for it (ready) only when the
// engine is about to need it; a read that finds no window reads at once.
const kFirstWindow = 64 << 10;
const kLargestWindow = 8 << 20;
const kWindows = 4;
// More than the engine reads from one take in one turn of the run.
const kTurnBytes = 2 << 20;

class TakeReader {
  constructor() {
    this.files = [];
    // {id, start, bytes, used: the end of what was read, next: the window that
    // follows, while it is fetched}; most recently used last
    this.windows = [];
    this.reader = new FileReaderSync();
  }

  reset(files) {
    this.files = files;
    this.windows = [];
  }

  read(id, offset, destination) {
    const count = destination.length;
    let window = this.windows.find(
      (w) => w.id === id && offset >= w.start && offset + count <= w.start + w.bytes.length);
    if (!window) window = this.load(id, offset, count);
    if (!window) return -1;
    this.windows.splice(this.windows.indexOf(window), 1);
    this.windows.push(window);
    const from = offset - window.start;
    const got = Math.max(0, Math.min(count, window.bytes.length - from));
    destination.set(window.bytes.subarray(from, from + got));
    window.used = Math.max(window.used, from + got);
    return got;
  }

  // A new window at `offset`: the prefetched one when it has arrived and holds
  // the read, else one read now. Null when the file cannot be read (changed or
  // removed since it was picked).
  load(id, offset, count) {
    const file = this.files[id];
    if (!file) return null;
    const before = this.windows.find((w) => w.id === id && w.start + w.bytes.length === offset);
    const size = Math.max(count, before ? Math.min(before.bytes.length * 2, kLargestWindow)
      : kFirstWindow);
    let bytes = null;
    const next = before && before.next;
    if (next && next.bytes && next.bytes.length >= Math.min(count, file.size - offset)) {
      bytes = next.bytes;
    } else {
      try {
        bytes = new Uint8Array(this.reader.readAsArrayBuffer(file.slice(offset, offset + size)));
      } catch {
        return null;
      }
    }
    if (before) this.windows.splice(this.windows.indexOf(before), 1);
    if (this.windows.length >= kWindows) this.windows.shift();
    const window = { id, start: offset, bytes, used: 0, next: null };
    this.windows.push(window);
    // Straight on into a long take: fetch what follows meanwhile.
    const end = offset + bytes.length;
    if (before && end < file.size) {
      const nextSize = Math.min(bytes.length * 2, kLargestWindow);
      window.next = { bytes: null };
      window.next.arrived = file.slice(end, end + nextSize).arrayBuffer().then(
        (buffer) => { window.next.bytes = new Uint8Array(buffer); },
        () => { window.next = null; });
    }
    return window;
  }

  // Resolves once every window about to run out has its successor.
  ready() {
    const waits = this.windows.filter((w) => w.next && !w.next.bytes
      && w.bytes.length - w.used < kTurnBytes).map((w) => w.next.arrived);
    return waits.length > 0 ? Promise.all(waits) : null;
  }
}

// ---- The engine ----

let engine;
const takes = new TakeReader();
let sinks = [];

function callString(name, ...args) {
  const types = args.map((a) => (typeof a === 'string' ? 'string' : 'number'));
  return engine.ccall(name, 'string', types, args);
}

function callJson(name, ...args) {
  return JSON.parse(callString(name, ...args));
}

async function start() {
  try {
    engine = await createProj2wavEngine({
      disk: {
        read: (id, offset, destination) => takes.read(id, offset, destination),
        write: (sink, offset, bytes) => sinks[sink].write(offset, bytes),
        length: (sink) => sinks[sink].length(),
        truncate: (sink, length) => sinks[sink].truncate(length),
      },
    });
  } catch (error) {
    postMessage({ type: 'unsupported', reason: `the engine could not load (${error.message})` });
    return;
  }
  self.onmessage = ({ data }) => handle(data);
  postMessage({ type: 'ready', texts: callJson('proj2wav_texts') });
}

async function handle(request) {
  if (request.type === 'stop') {
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
  // each with its path relative to that folder ("Audio Files/Take 01.wav").
  open({ name, files }) {
    engine._proj2wav_forget_files();
    takes.reset(files.map((f) => f.file));
    files.forEach((f, id) => {
      engine.ccall('proj2wav_add_file', null, ['string', 'number', 'number'],
        [`/${name}/${f.path}`, f.file.size, id]);
    });
    return callJson('proj2wav_load', `/${name}`, name);
  },

  // The page's settings ({bits, channels, ...}): returns the report for them.
  options({ settings }) {
    return callJson('proj2wav_set_options', JSON.stringify(settings));
  },

  names({ left }) {
    return callJson('proj2wav_proposed_names', left || '');
  },

  problemText({ problem, name }) {
    return callString('proj2wav_output_problem_text', problem, name);
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
let storedNames = [];

async function removeStoredOutputs() {
  if (storedNames.length === 0) return;
  const root = await navigator.storage.getDirectory();
  for (const name of storedNames) {
    await root.removeEntry(name).catch(() => {});
  }
  storedNames = [];
}

async function openSinks(handles, names) {
  if (handles) return Promise.all(handles.map((h) => StreamSink.open(h)));
  await removeStoredOutputs();
  const stored = names.map(() => `output-${++storedCount}.wav`);
  storedNames = stored;
  // A stream where the browser has one for its own files (it writes while the
  // next batch is made); else a synchronous handle.
  const root = await navigator.storage.getDirectory();
  const opened = [];
  for (const name of stored) {
    const file = await root.getFileHandle(name, { create: true });
    opened.push(typeof file.createWritable === 'function'
      ? await StreamSink.open(file) : await StorageSink.open(file));
  }
  return opened;
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
    result = await runBlocks();
    result.started = true;
  }
  for (const sink of sinks) {
    try {
      await sink.close();
    } catch (error) {
      if (result.ok) Object.assign(result, { ok: false, details: failureText(error) });
    }
  }
  sinks = [];
  result.stored = handles ? [] : storedNames.slice();
  return result;
}

async function runBlocks() {
  const started = performance.now();
  let lastTurn = started;
  let lastReport = 0;
  let state = 1;
  while (state === 1) {
    const reading = takes.ready();
    if (reading) await reading;
    state = engine._proj2wav_step(4);
    const now = performance.now();
    // The Save dialog's file takes its batches between blocks.
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
      const percent = engine._proj2wav_progress();
      postMessage({ type: 'progress', percent,
        figures: callString('proj2wav_progress_text', percent, (now - started) / 1000) });
    }
  }
  // Everything rendered reaches the sinks before the headers are finished, so
  // that a header never claims more than arrived.
  for (const sink of sinks) await sink.drain();
  const failure = sinkFailure();
  const outcome = callJson('proj2wav_end', state === -1 || failure ? 1 : 0,
    failureText(failure));
  outcome.seconds = (performance.now() - started) / 1000;
  return outcome;
}
