// The output writer: a worker beside the engine's worker that owns the
// synchronous access handles of the outputs kept in the page's own storage, so
// that writing a batch overlaps rendering the next one. Requests are carried out one after another, in the order they came;
// each is answered with its id (and the batch's bytes, handed back for reuse) or
// with the error that stopped it.

'use strict';

const handles = new Map();
let queue = Promise.resolve();

async function carryOut(request) {
  switch (request.type) {
    case 'open': {
      const root = await navigator.storage.getDirectory();
      const file = await root.getFileHandle(request.name, { create: true });
      handles.set(request.sink, await file.createSyncAccessHandle());
      break;
    }
    case 'write': {
      const { data, position } = request.operation;
      if (handles.get(request.sink).write(data, { at: position }) !== data.length) {
        throw new Error('the browser stored only part of a write');
      }
      break;
    }
    case 'truncate':
      handles.get(request.sink).truncate(request.operation.size);
      break;
    case 'close': {
      const handle = handles.get(request.sink);
      handles.delete(request.sink);
      handle.flush();
      handle.close();
      break;
    }
    default:
      throw new Error(`unknown request ${request.type}`);
  }
}

// The page hands this worker one end of a channel whose other end the engine's
// worker holds; the requests come through it, and a 'quit' where the browser
// refuses synchronous access handles.
onmessage = ({ data: { port } }) => {
  port.onmessage = ({ data: request }) => {
    if (request.type === 'quit') close();
    else queue = queue.then(() => answer(port, request));
  };
};

async function answer(port, request) {
  const reply = { id: request.id };
  try {
    await carryOut(request);
  } catch (error) {
    reply.error = { name: error.name, message: error.message };
  }
  const data = request.operation && request.operation.data;
  if (data) reply.data = data;
  port.postMessage(reply, data ? [data.buffer] : []);
}
