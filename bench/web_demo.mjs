// The whole default demo in headless chromium: how long it runs against its music, the first frame after the
// click, the frame rate and the longest frame, and how late the sync points came by the heard position.
// Usage: node bench/web_demo.mjs [DIST-DIR]   (after scripts/build-web and `npm ci` in the top folder)
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const dist = path.resolve(process.argv[2] || 'dist/vostrel-web');
const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.json': 'application/json'};
const server = http.createServer((request, response) => {
  let file = path.join(dist, decodeURIComponent(new URL(request.url, 'http://x').pathname));
  if (file.endsWith('/')) file = path.join(file, 'index.html');
  if (!file.startsWith(dist) || !fs.existsSync(file) || !fs.statSync(file).isFile()) return response.writeHead(404).end();
  response.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream'});
  fs.createReadStream(file).pipe(response);
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  protocolTimeout: 600000,  // a software renderer keeps the page's thread busy for long stretches
  userDataDir: fs.mkdtempSync(path.join(os.tmpdir(), 'vostrel-bench-')),
  args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
         '--autoplay-policy=no-user-gesture-required', '--disable-background-networking',
         '--disable-component-update', '--disable-sync', '--no-first-run', '--window-size=1024,768'],
});
const page = await browser.newPage();
await page.setViewport({width: 1024, height: 768});
page.on('console', (message) => { if (message.text().startsWith('vostrel')) console.log(message.text()); });
await page.goto(`http://127.0.0.1:${server.address().port}/index.html?stats`);
await page.click('#start');
const clicked = Date.now();
await page.waitForFunction(() => window.vostrelExitCode !== undefined, {timeout: 400000, polling: 500});
const seconds = (Date.now() - clicked) / 1000;
const code = await page.evaluate(() => window.vostrelExitCode);
const firstFrame = await page.evaluate(() => window.vostrelFirstFrameMs);
console.log(`exit code ${code}, ${seconds.toFixed(1)} s from the click to the end, first frame ${firstFrame} ms after it`);
await browser.close();
server.close();
