// Where the worker's outputs go (loaded by worker.js). A sink takes the engine's
// positional writes at once and answers at once, as the engine's disk layer
// expects: write() returns the bytes taken, -1 after a failure and -2 once the
// browser's storage quota is used up. Both sinks gather the blocks the engine
// writes one after another into batches of a few MiB, since every call into the
// browser's file machinery costs far more than copying a block. Once a batch has
// failed, nothing more is written behind it, and length() tells what arrived.

'use strict';

const kBatchBytes = 4 << 20;

// Writes that follow one another, gathered into one buffer.
class Batch {
  constructor() {
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

  // The gathered write, emptying the batch; its bytes stay valid until the next add.
  take() {
    const write = { position: this.start, data: this.buffer.subarray(0, this.used) };
    this.used = 0;
    return write;
  }
}

function failureCode(error) {
  return error && error.name === 'QuotaExceededError' ? -2 : -1;
}

// A file in the page's own storage (the origin-private file system), written
// through a synchronous access handle: a batch lands before write() returns.
class StorageSink {
  static async open(file) {
    return new StorageSink(await file.createSyncAccessHandle());
  }

  constructor(handle) {
    this.handle = handle;
    this.batch = new Batch();
    this.failure = null;
  }

  write(offset, bytes) {
    if (this.failure) return failureCode(this.failure);
    if (!this.batch.takes(offset, bytes.length) && !this.writeOut()) {
      return failureCode(this.failure);
    }
    if (!this.batch.takes(offset, bytes.length)) {
      return this.put({ position: offset, data: bytes }) ? bytes.length : failureCode(this.failure);
    }
    this.batch.add(offset, bytes);
    return bytes.length;
  }

  // Writes the batch out; false once anything failed.
  writeOut() {
    const write = this.batch.take();
    return write.data.length === 0 ? !this.failure : this.put(write);
  }

  put({ position, data }) {
    if (this.failure) return false;
    try {
      if (this.handle.write(data, { at: position }) !== data.length) {
        throw new Error('the browser stored only part of a write');
      }
      return true;
    } catch (error) {
      this.failure = error;
      return false;
    }
  }

  length() {
    this.writeOut();
    return this.handle.getSize();
  }

  truncate(length) {
    this.writeOut();
    try {
      this.handle.truncate(length);
      return 0;
    } catch (error) {
      this.failure = this.failure || error;
      return -1;
    }
  }

  needsFlush() {
    return false;
  }

  async flush() {}

  async drain() {
    this.writeOut();
  }

  async close() {
    this.writeOut();
    this.handle.flush();
    this.handle.close();
  }
}

// A file written through its writable stream: one the user chose in the Save
// dialog, or one in the page's own storage. Batches are handed over between
// blocks (flush), one promise each, and one batch is on its way while the next
// is being made.
class StreamSink {
  static async open(handle) {
    return new StreamSink(await handle.createWritable());
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
    if (data.length > 0) this.operations.push({ type: 'write', position, data: data.slice() });
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

  // Hands over what is gathered; resolves once what was handed over before has
  // arrived, so that the new batch travels while the next one is made.
  flush() {
    this.closeBatch();
    const operations = this.operations;
    this.operations = [];
    const before = this.sending;
    this.sending = before.then(() => this.send(operations));
    return before;
  }

  // Resolves once everything gathered has arrived (or failed).
  async drain() {
    this.flush();
    await this.sending;
  }

  async send(operations) {
    for (const operation of operations) {
      // Nothing lands behind a gap; the header at the start still may.
      if (this.failure && operation.type === 'write' && operation.position >= this.committed) {
        continue;
      }
      try {
        await this.writable.write(operation);
        this.committed = operation.type === 'truncate' ? operation.size
          : Math.max(this.committed, operation.position + operation.data.length);
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
