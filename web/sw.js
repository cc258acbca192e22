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

self.addEventListener('fetch', (event) => {
  const { request } = event;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(answer(request));
});
