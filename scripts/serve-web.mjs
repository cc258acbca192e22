#!/usr/bin/env node
// A small static file server for the page (build-web/site): `make web` runs it,
// and the browser tests start one of their own. No special headers are needed;
// it only names each file's type, which WebAssembly's streaming load insists on.
//   node scripts/serve-web.mjs [SITE-DIR] [PORT]    (build-web/site, 8080)
import { createReadStream } from 'node:fs';
import { stat } from 'node:fs/promises';
import { createServer } from 'node:http';
import { extname, join, normalize, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const kTypes = {
  '.html': 'text/html; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.svg': 'image/svg+xml',
  '.png': 'image/png',
  '.json': 'application/json',
  '.webmanifest': 'application/manifest+json',
};

// Serves `root` on 127.0.0.1:`port` (0: any free port); resolves with the server.
export function serve(root, port = 0) {
  const top = resolve(root);
  const server = createServer(async (request, response) => {
    const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    const file = normalize(join(top, path.endsWith('/') ? `${path}index.html` : path));
    const info = file.startsWith(top + sep) ? await stat(file).catch(() => null) : null;
    if (!info || !info.isFile() || (request.method !== 'GET' && request.method !== 'HEAD')) {
      response.writeHead(404, { 'Content-Type': 'text/plain' }).end('Not found\n');
      return;
    }
    response.writeHead(200, {
      'Content-Type': kTypes[extname(file)] || 'application/octet-stream',
      'Content-Length': info.size,
      'Cache-Control': 'no-cache',
    });
    if (request.method === 'HEAD') response.end();
    else createReadStream(file).pipe(response);
  });
  return new Promise((done, fail) => {
    server.once('error', fail);
    server.listen(port, '127.0.0.1', () => done(server));
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const root = process.argv[2] || 'build-web/site';
  const server = await serve(root, Number(process.argv[3] || 8080));
  const { port } = server.address();
  console.log(`proj2wav's page: http://localhost:${port}/  (serving ${root}; Ctrl-C stops)`);
}
