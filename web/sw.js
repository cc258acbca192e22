// The page's service worker: it keeps the site's files so that a later visit
// works with no network at all. Every request goes to the network first, and the
// answer replaces the kept copy, so a new release is picked up at the next load;
// only when the network fails does the kept copy answer.

const kCache = 'proj2wav-site';
const kSiteFiles = ['./', 'index.html', 'style.css', 'main.js', 'engine.js', 'project.js',
  'view.js', 'worker.js', 'sinks.js', 'writer.js', 'proj2wav-engine.js', 'proj2wav-engine.wasm',
  'icon.svg', 'manifest.webmanifest'];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(kCache).then((cache) => cache.addAll(kSiteFiles))
    .then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => event.waitUntil(self.clients.claim()));

async function answer(request) {
  const cache = await caches.open(kCache);
  try {
    const response = await fetch(request);
    if (response.ok) await cache.put(request, response.clone());
    return response;
  } catch (error) {
    // The page's address may carry a query (?save=download): the kept page is the same.
    const kept = await cache.match(request, { ignoreSearch: true });
    if (kept) return kept;
    throw error;
  }
}

// An output kept in the page's storage goes to its download through here
// ("download/<file>?name=<name>"): read out as the download takes it, and
// deleted once its last byte has gone, so that no copy stays behind. A download
// broken off leaves it for another try. The page's tabs hear of each deletion.
async function download(url) {
  const file = decodeURIComponent(url.pathname.slice(url.pathname.lastIndexOf('/') + 1));
  const root = await navigator.storage.getDirectory();
  const blob = await root.getFileHandle(file).then((handle) => handle.getFile(), () => null);
  if (!blob) return new Response('This output is no longer kept by the page.', { status: 404 });
  const reader = blob.stream().getReader();
  const body = new ReadableStream({
    async pull(controller) {
      const { done, value } = await reader.read();
      if (!done) {
        controller.enqueue(value);
        return;
      }
      controller.close();
      await root.removeEntry(file).catch(() => {});
      for (const client of await self.clients.matchAll()) client.postMessage({ type: 'downloaded', file });
    },
    cancel: (reason) => reader.cancel(reason),
  });
  const name = encodeURIComponent(url.searchParams.get('name') || file)
    .replace(/['()*]/g, (c) => `%${c.charCodeAt(0).toString(16).toUpperCase()}`);
  return new Response(body, { headers: {
    'Content-Type': 'application/octet-stream',
    'Content-Length': String(blob.size),
    'Content-Disposition': `attachment; filename*=UTF-8''${name}`,
  } });
}

self.addEventListener('fetch', (event) => {
  const { request } = event;
  const url = new URL(request.url);
  if (request.method !== 'GET' || url.origin !== self.location.origin) return;
  const downloading = url.pathname.startsWith(new URL('download/', self.registration.scope).pathname);
  event.respondWith(downloading ? download(url) : answer(request));
});
