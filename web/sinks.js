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
class Batch {
  constructor() {
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

  // The gathered write, emptying the batch. Its bytes fill a buffer of their own,
  // since WebKit writes the whole buffer under a view: a full batch hands over its
  // buffer, a shorter one a copy, and the buffer stays for the next batch.
  take() {
    let data = this.buffer;
    if (this.used < this.buffer.length) data = this.buffer.slice(0, this.used);
    else this.buffer = this.spare.pop() || new Uint8Array(kBatchBytes);
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

  // Whether the browser gives the writer worker a synchronous access handle: it
  // opens and closes one. Where it does not, or where the writer worker does not
  // answer in time, the writer worker is told to go.
  static async works(name) {
    if (!StorageWriter.worker) return false;
    let timer;
    const late = new Promise((_, fail) => {
      timer = setTimeout(() => fail(new Error('the writer worker did not start')), kWriterPatienceMs);
    });
    try {
      await (await Promise.race([StorageWriter.open(name), late])).close();
      return true;
    } catch {
      StorageWriter.worker.port.postMessage({ type: 'quit' });
      StorageWriter.worker = null;
      return false;
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
  static async open(handle) {
    return new StreamSink(await handle.createWritable());
  }

  // A new file of the page's own storage, written the way storageRoute() found.
  static async openStored(name, route) {
    if (route === 'sync') return new StreamSink(await StorageWriter.open(name));
    const root = await navigator.storage.getDirectory();
    return StreamSink.open(await root.getFileHandle(name, { create: true }));
  }

  constructor(writable) {
    this.writable = writable;
    this.batch = new Batch();
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

// How outputs kept in the page's own storage are written, found once by opening
// a file of each kind before the page shows itself: {route: 'sync'} through
// synchronous access handles in the writer worker; {route: 'stream'} through a
// file's writable stream, where the browser refuses those handles (WebKit does in
// workers); or {route: '', refusal, details} without that storage: refusal 'off'
// where the browser lacks it or keeps it switched off, 'refused' where it refuses
// it to the page (as private windows do).
async function storageRoute() {
  const storage = navigator.storage;
  if (!storage || typeof storage.getDirectory !== 'function') return { route: '', refusal: 'off' };
  const probes = ['.proj2wav-probe-sync', '.proj2wav-probe-stream'];
  let root;
  try {
    root = await storage.getDirectory();
    if (await StorageWriter.works(probes[0])) return { route: 'sync' };
    // A file whose synchronous handle was refused is no good for a stream in
    // WebKit: the stream gets a file of its own.
    const writable = await (await root.getFileHandle(probes[1], { create: true })).createWritable();
    await writable.close();
    return { route: 'stream' };
  } catch (error) {
    // A TypeError: no such call, the feature is off.
    return { route: '', refusal: error instanceof TypeError ? 'off' : 'refused',
      details: error.message };
  } finally {
    if (root) for (const probe of probes) await root.removeEntry(probe).catch(() => {});
  }
}
