// Where the worker's outputs go (loaded by worker.js). A sink takes the engine's
// positional writes at once and answers at once, as the engine's disk layer
// expects: write() returns the bytes taken, -1 after a failure and -2 once the
// browser's storage quota is used up. Both sinks gather the blocks the engine
// writes one after another into batches of a few MiB, since every call into the
// browser's file machinery costs far more than copying a block. Once a batch has
// failed, nothing more is written behind it, and length() tells what arrived.

'use strict';

const kBatchBytes = 4 << 20;

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

  // The gathered write, emptying the batch.
  take() {
    const write = { position: this.start, data: this.buffer.subarray(0, this.used) };
    if (this.used > 0) this.buffer = this.spare.pop() || new Uint8Array(kBatchBytes);
    this.used = 0;
    return write;
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
  static async open(name) {
    StorageWriter.worker = StorageWriter.worker || new StorageWriterWorker();
    const writer = new StorageWriter(StorageWriter.worker, StorageWriter.nextSink++);
    await writer.worker.request({ type: 'open', sink: writer.sink, name });
    return writer;
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
  constructor() {
    this.worker = new Worker('writer.js');
    this.waiting = new Map();
    this.nextId = 0;
    this.worker.onmessage = ({ data: answer }) => {
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
      this.worker.postMessage({ id, ...message }, transfer);
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

  static async openStored(name) {
    return new StreamSink(await StorageWriter.open(name));
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
