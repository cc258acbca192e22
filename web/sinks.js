// Where the worker's outputs go (loaded by worker.js). A sink takes the engine's
// positional writes at once and answers at once, as the engine's disk layer
// expects: write() returns the bytes taken, -1 after a failure and -2 once the
// browser's storage quota is used up. Both sinks gather the blocks the engine
// writes one after another into batches of a few MiB, since every call into the
// browser's file machinery costs far more than copying a block. Once a batch has
// failed, nothing more is written behind it, and length() tells what arrived.

'use strict';

const kBatchBytes = 4 << 20;
// How long the writer worker may take to open its first file.
const kWriterPatienceMs = 3000;

// Writes that follow one another, gathered into one buffer. A batch taken keeps
// its buffer until it is given back (reuse), once its bytes have arrived.
// `exact`: each batch is handed over in a buffer of exactly its bytes, for a
// browser that writes the whole buffer under a view (WebKit).
class Batch {
  constructor(exact) {
    this.exact = exact;
    this.spare = [];
    this.buffer = new Uint8Array(kBatchBytes);
    this.start = 0;
    this.used = 0;
  }

  // Whether `length` bytes at `offset` can join the batch.
  takes(offset, length) {
    return this.used === 0 ? length <= this.buffer.length
      : offset === this.start + this.used && this.used + length <= this.buffer.length;
  }

  add(offset, bytes) {
    if (this.used === 0) this.start = offset;
    this.buffer.set(bytes, this.used);
    this.used += bytes.length;
  }

  // The gathered write, emptying the batch. Exact, a shorter batch is a copy and
  // its buffer stays for the next batch (a copy each time costs too much where a
  // view is written right: Chromium converted at two thirds of its speed).
  take() {
    let data = this.buffer.subarray(0, this.used);
    if (this.exact && this.used < this.buffer.length) data = this.buffer.slice(0, this.used);
    else if (this.used > 0) this.buffer = this.spare.pop() || new Uint8Array(kBatchBytes);
    this.used = 0;
    return { position: this.start, data };
  }

  reuse(bytes) {
    if (bytes && bytes.buffer.byteLength === kBatchBytes) this.spare.push(new Uint8Array(bytes.buffer));
  }
}

function failureCode(error) {
  return error && error.name === 'QuotaExceededError' ? -2 : -1;
}

// A file in the page's own storage (the origin-private file system), written by
// the writer worker (writer.js) through a synchronous access handle. It takes the
// operations of a writable stream, so that StreamSink writes it the same way.
class StorageWriter {
  // The writer worker is the page's: `port` reaches it (see engine.js).
  static connect(port) {
    StorageWriter.worker = new StorageWriterWorker(port);
  }

  static async open(name) {
    const writer = new StorageWriter(StorageWriter.worker, StorageWriter.nextSink++);
    await writer.worker.request({ type: 'open', sink: writer.sink, name });
    return writer;
  }

  // Whether the browser gives the writer worker a synchronous access handle, found
  // by writing the file `name` through one: {exact} (see writesView), or null.
  // Where it gives none, or the writer worker does not answer in time, the
  // writer worker is told to go.
  static async probe(name) {
    if (!StorageWriter.worker) return null;
    let timer;
    const late = new Promise((_, fail) => {
      timer = setTimeout(() => fail(new Error('the writer worker did not start')), kWriterPatienceMs);
    });
    try {
      const writer = await Promise.race([StorageWriter.open(name), late]);
      await writer.write({ type: 'write', position: 0, data: kProbeView() });
      await writer.close();
      return { exact: !(await writesView(name)) };
    } catch {
      StorageWriter.worker.port.postMessage({ type: 'quit' });
      StorageWriter.worker = null;
      return null;
    } finally {
      clearTimeout(timer);
    }
  }

  constructor(worker, sink) {
    this.worker = worker;
    this.sink = sink;
  }

  // The batch's bytes go to the writer worker and come back with the answer.
  write(operation) {
    return this.worker.request({ type: operation.type, sink: this.sink, operation },
      operation.data ? [operation.data.buffer] : []);
  }

  close() {
    return this.worker.request({ type: 'close', sink: this.sink });
  }
}
StorageWriter.nextSink = 0;

class StorageWriterWorker {
  constructor(port) {
    this.port = port;
    this.waiting = new Map();
    this.nextId = 0;
    this.port.onmessage = ({ data: answer }) => {
      const { resolve, reject } = this.waiting.get(answer.id);
      this.waiting.delete(answer.id);
      if (answer.error) reject(Object.assign(new Error(answer.error.message), answer.error));
      else resolve(answer.data);
    };
  }

  request(message, transfer = []) {
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.waiting.set(id, { resolve, reject });
      this.port.postMessage({ id, ...message }, transfer);
    });
  }
}

// An output written through a writable stream: that of a file the user chose in
// the Save dialog, or a StorageWriter. Batches are handed over between blocks
// (flush), one promise each, and one batch is on its way while the next is made.
class StreamSink {
  // A file's writable stream; `exact` as for Batch.
  static async open(handle, exact = true) {
    return new StreamSink(await handle.createWritable(), exact);
  }

  // A new file of the page's own storage, written the way storageRoute() found.
  static async openStored(name, { route, exact }) {
    if (route === 'sync') return new StreamSink(await StorageWriter.open(name), exact.sync);
    const root = await navigator.storage.getDirectory();
    return StreamSink.open(await root.getFileHandle(name, { create: true }), exact.stream);
  }

  constructor(writable, exact) {
    this.writable = writable;
    this.batch = new Batch(exact);
    this.operations = [];  // gathered for the next flush, in order
    this.sending = Promise.resolve();  // the operations handed over, in order
    this.size = 0;       // the file's size once every operation has arrived
    this.committed = 0;  // bytes known to have arrived
    this.failure = null;
  }

  write(offset, bytes) {
    if (this.failure) return failureCode(this.failure);
    if (!this.batch.takes(offset, bytes.length)) this.closeBatch();
    if (this.batch.takes(offset, bytes.length)) this.batch.add(offset, bytes);
    else this.operations.push({ type: 'write', position: offset, data: bytes.slice() });
    this.size = Math.max(this.size, offset + bytes.length);
    return bytes.length;
  }

  closeBatch() {
    const { position, data } = this.batch.take();
    if (data.length > 0) this.operations.push({ type: 'write', position, data });
  }

  length() {
    return this.failure ? this.committed : this.size;
  }

  truncate(length) {
    this.closeBatch();
    this.operations.push({ type: 'truncate', size: length });
    this.size = length;
    return 0;
  }

  needsFlush() {
    return this.operations.length > 0;
  }

  // Hands over the batches filled; resolves once what was handed over before has
  // arrived, so that the new batch travels while the next one is made.
  flush() {
    const operations = this.operations;
    this.operations = [];
    const before = this.sending;
    this.sending = before.then(() => this.send(operations));
    return before;
  }

  // Resolves once everything gathered has arrived (or failed).
  async drain() {
    this.closeBatch();
    this.flush();
    await this.sending;
  }

  async send(operations) {
    for (const operation of operations) {
      // Nothing lands behind a gap; the header at the start still may.
      if (this.failure && operation.type === 'write' && operation.position >= this.committed) {
        continue;
      }
      const end = operation.type === 'write' ? operation.position + operation.data.length : 0;
      try {
        // A StorageWriter hands the bytes back; a stream leaves them where they were.
        const bytes = await this.writable.write(operation);
        if (operation.type === 'write') this.batch.reuse(bytes || operation.data);
        this.committed = operation.type === 'truncate' ? operation.size
          : Math.max(this.committed, end);
      } catch (error) {
        this.failure = this.failure || error;
      }
    }
  }

  async close() {
    await this.drain();
    await this.writable.close();
  }
}

// Three bytes seen through a view of an 8-byte buffer.
function kProbeView() {
  return new Uint8Array(8).subarray(2, 5);
}

// Whether the file `name` of the page's storage, written with kProbeView(), got
// the view's 3 bytes, not its buffer's 8 (WebKit writes the whole buffer).
async function writesView(name) {
  const root = await navigator.storage.getDirectory();
  return (await (await root.getFileHandle(name)).getFile()).size === 3;
}

// How outputs kept in the page's own storage are written, found once by writing
// a file of each kind before the page shows itself: route 'sync' through
// synchronous access handles in the writer worker; route 'stream' through a
// file's writable stream, where the browser refuses those handles (WebKit does in
// workers); `exact` for each, whether every write needs a buffer of its own
// (Batch). Or {route: '', refusal, details} without that storage: refusal 'off'
// where the browser lacks it or keeps it switched off, 'refused' where it refuses
// it to the page (as private windows do).
async function storageRoute() {
  const storage = navigator.storage;
  if (!storage || typeof storage.getDirectory !== 'function') return { route: '', refusal: 'off' };
  // A file whose synchronous handle WebKit refused is no good for a stream: each
  // kind gets a file of its own.
  const probes = ['.proj2wav-probe-stream', '.proj2wav-probe-sync'];
  let root;
  try {
    root = await storage.getDirectory();
    let streamExact = null;
    let streamFailure = null;
    try {
      const writable = await (await root.getFileHandle(probes[0], { create: true })).createWritable();
      await writable.write(kProbeView());
      await writable.close();
      streamExact = !(await writesView(probes[0]));
    } catch (error) {
      streamFailure = error;
    }
    const sync = await StorageWriter.probe(probes[1]);
    if (sync) return { route: 'sync', exact: { stream: streamExact !== false, sync: sync.exact } };
    if (streamFailure) throw streamFailure;
    return { route: 'stream', exact: { stream: streamExact } };
  } catch (error) {
    // A TypeError: no such call, the feature is off.
    return { route: '', refusal: error instanceof TypeError ? 'off' : 'refused',
      details: error.message };
  } finally {
    if (root) for (const probe of probes) await root.removeEntry(probe).catch(() => {});
  }
}
