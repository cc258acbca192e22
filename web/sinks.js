// Where the worker's outputs go (loaded by worker.js). A sink takes the engine's
// positional writes at once and answers at once, as the engine's disk layer
// expects; write() returns the bytes taken, -1 after a failure and -2 once the
// browser's storage quota is used up.

'use strict';

// A file in the page's own storage (the origin-private file system), written
// through a synchronous access handle: every write lands before write() returns.
class StorageSink {
  static async open(name) {
    const root = await navigator.storage.getDirectory();
    const file = await root.getFileHandle(name, { create: true });
    return new StorageSink(await file.createSyncAccessHandle());
  }

  constructor(handle) {
    this.handle = handle;
    this.failure = null;
  }

  write(offset, bytes) {
    try {
      return this.handle.write(bytes, { at: offset });
    } catch (error) {
      this.failure = error;
      return isQuotaError(error) ? -2 : -1;
    }
  }

  length() {
    return this.handle.getSize();
  }

  truncate(length) {
    try {
      this.handle.truncate(length);
      return 0;
    } catch (error) {
      this.failure = error;
      return -1;
    }
  }

  needsFlush() {
    return false;
  }

  async flush() {}

  async close() {
    this.handle.flush();
    this.handle.close();
  }
}

// A file the user chose in the Save dialog, written through its writable stream.
// Writes are gathered into batches of a few MiB, handed over between blocks: one
// promise per batch rather than per block. A batch that fails (disk full, out of
// quota) fails every later write; length() then tells what really arrived.
class StreamSink {
  static async open(handle) {
    return new StreamSink(await handle.createWritable());
  }

  constructor(writable) {
    this.writable = writable;
    this.operations = [];  // handed over at the next flush, in order
    this.batch = new Uint8Array(StreamSink.batchBytes);
    this.batchStart = 0;
    this.batchUsed = 0;
    this.size = 0;       // the file's size once every operation has arrived
    this.committed = 0;  // bytes known to have arrived
    this.failure = null;
  }

  write(offset, bytes) {
    if (this.failure) return isQuotaError(this.failure) ? -2 : -1;
    const joins = this.batchUsed > 0 && offset === this.batchStart + this.batchUsed;
    if (!joins || this.batchUsed + bytes.length > this.batch.length) {
      this.closeBatch();
      this.batchStart = offset;
      if (bytes.length > this.batch.length) {
        this.operations.push({ type: 'write', position: offset, data: bytes.slice() });
        this.size = Math.max(this.size, offset + bytes.length);
        return bytes.length;
      }
    }
    this.batch.set(bytes, this.batchUsed);
    this.batchUsed += bytes.length;
    this.size = Math.max(this.size, offset + bytes.length);
    return bytes.length;
  }

  closeBatch() {
    if (this.batchUsed === 0) return;
    this.operations.push({
      type: 'write', position: this.batchStart, data: this.batch.slice(0, this.batchUsed),
    });
    this.batchUsed = 0;
  }

  length() {
    return this.failure ? this.committed : this.size;
  }

  truncate(length) {
    this.closeBatch();
    this.operations.push({ type: 'truncate', size: length });
    this.size = length;
    this.committed = Math.min(this.committed, length);
    return 0;
  }

  needsFlush() {
    return this.batchUsed >= this.batch.length / 2 || this.operations.length > 0;
  }

  async flush() {
    this.closeBatch();
    const operations = this.operations;
    this.operations = [];
    for (const operation of operations) {
      if (this.failure && operation.type === 'write' && operation.position >= this.committed) {
        continue;  // nothing lands behind a gap
      }
      try {
        await this.writable.write(operation);
        this.committed = operation.type === 'truncate'
          ? operation.size
          : Math.max(this.committed, operation.position + operation.data.length);
      } catch (error) {
        this.failure = this.failure || error;
      }
    }
  }

  async close() {
    await this.flush();
    await this.writable.close();
  }
}
StreamSink.batchBytes = 4 << 20;

function isQuotaError(error) {
  return error && error.name === 'QuotaExceededError';
}
