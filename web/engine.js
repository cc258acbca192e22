// The page's side of the engine worker (worker.js): requests answered by
// promises, and the progress of a running conversion through a callback.

export class Engine {
  // Starts the worker; resolves with the engine's texts once it has loaded, or
  // rejects with the reason it cannot run here.
  static start() {
    return new Promise((resolve, reject) => {
      let worker;
      try {
        worker = new Worker('worker.js');
        // The writer worker of the page's own storage (writer.js) starts here, and
        // the engine's worker reaches it through a channel: Firefox has been seen
        // to hang for good in a new Worker() called in a worker.
        const writer = new Worker('writer.js');
        const channel = new MessageChannel();
        writer.postMessage({ port: channel.port1 }, [channel.port1]);
        worker.postMessage({ type: 'start', writer: channel.port2 }, [channel.port2]);
      } catch (error) {
        reject(new Error(`the page's worker could not start (${error.message})`));
        return;
      }
      worker.onerror = (event) => {
        event.preventDefault();
        reject(new Error(`the page's worker failed (${event.message || 'unknown error'})`));
      };
      worker.onmessage = ({ data }) => {
        if (data.type === 'ready') resolve(new Engine(worker, data.texts, data.storage));
        else if (data.type === 'unsupported') reject(new Error(data.reason));
      };
    });
  }

  constructor(worker, texts, storage) {
    this.worker = worker;
    this.texts = texts;
    // How outputs are kept in the page's own storage: {route}, empty with a
    // refusal ('off', 'refused') where they cannot be
    this.storage = storage;
    this.nextId = 1;
    this.pending = new Map();
    this.onProgress = () => {};
    worker.onmessage = ({ data }) => this.receive(data);
    worker.onerror = (event) => {
      event.preventDefault();
      for (const { reject } of this.pending.values()) reject(new Error(event.message));
      this.pending.clear();
    };
  }

  receive(data) {
    if (data.type === 'progress') {
      this.onProgress(data);
      return;
    }
    const waiting = this.pending.get(data.id);
    if (!waiting) return;
    this.pending.delete(data.id);
    if (data.error) waiting.reject(new Error(data.error));
    else waiting.resolve(data.result);
  }

  // Sends a request; resolves with the worker's result.
  call(type, payload = {}) {
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      this.worker.postMessage({ id, type, ...payload });
    });
  }

  // Asks the running conversion to stop before its next block; no answer.
  stop() {
    this.worker.postMessage({ type: 'stop' });
  }
}
