// Guards the browser build in a real browser (headless chromium, driven by puppeteer-core) against a page
// that never ends or ends with the wrong code, an Escape that leaves the music playing, failures that leave
// a blank page instead of the program's own message, and a run much longer or shorter than its music.
// Frames of chosen moments drawn by the browser's platform are compared with the desktop's (vostrel-capture).
// Usage: node page_test.mjs DIST-DIR TESTDATA-DIR WEB-BUILD-DIR COUNT:FRAMES,... DESKTOP-FRAMES-DIR
//   (the folder scripts/build-web makes; the test track's; the emscripten build with vostrel-capture-web;
//   the moments; the desktop's frames of them as raw RGB, count-N.rgb)
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const [dist, testdata, webBuild, moments, desktopFrames] = process.argv.slice(2);
let failures = 0, checks = 0;
function check(what, ok, detail = '') {
  ++checks;
  if (!ok) ++failures;
  console.log(`${ok ? 'ok' : 'FAILED'}: ${what}${detail ? ` (${detail})` : ''}`);
}

// A folder like dist's, with some files replaced: links to dist's files, so the copy is cheap.
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'vostrel-web-'));
function site(name, change) {
  const root = path.join(scratch, name);
  fs.cpSync(dist, root, {recursive: true});
  change(root);
  return name;
}
const sites = {
  testTrack: site('test-track', (root) => fs.copyFileSync(path.join(testdata, 'demo.mp3'), path.join(root, 'demo.mp3'))),
  full: site('full', () => {}),
  noMusic: site('no-music', (root) => fs.rmSync(path.join(root, 'demo.mp3'))),
  badBitmap: site('bad-bitmap', (root) => fs.writeFileSync(path.join(root, 'Data/code.bmp'), 'BM not a bitmap at all')),
  // The page with the capture program in the program's place.
  capture: site('capture', (root) => {
    fs.copyFileSync(path.join(webBuild, 'vostrel-capture-web.js'), path.join(root, 'vostrel.js'));
    fs.copyFileSync(path.join(webBuild, 'vostrel-capture-web.wasm'), path.join(root, 'vostrel-capture-web.wasm'));
  }),
};

// Plain static files, as any web server gives them.
const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.json': 'application/json'};
const server = http.createServer((request, response) => {
  let file = path.join(scratch, decodeURIComponent(new URL(request.url, 'http://x').pathname));
  if (file.endsWith('/')) file = path.join(file, 'index.html');
  if (!file.startsWith(scratch) || !fs.existsSync(file) || !fs.statSync(file).isFile()) return response.writeHead(404).end();
  response.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream'});
  fs.createReadStream(file).pipe(response);
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const base = `http://127.0.0.1:${server.address().port}`;

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  userDataDir: path.join(scratch, 'profile'),
  args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
         '--autoplay-policy=no-user-gesture-required', '--disable-background-networking',
         '--disable-component-update', '--disable-sync', '--no-first-run', '--window-size=1024,768'],
});

// Opens a site's page with the stats on, clicks start; returns the page and the program's standard error.
async function open(name, query = 'stats') {
  const page = await browser.newPage();
  await page.setViewport({width: 1024, height: 768});
  const log = [];
  page.on('console', (m) => log.push(m.text()));
  page.on('pageerror', (e) => log.push(`pageerror: ${e.message}`));
  await page.goto(`${base}/${name}/?${query}`);
  await page.click('#start');
  return {page, log, started: Date.now()};
}

const exitCode = (page, seconds) =>
  page.waitForFunction(() => window.vostrelExitCode !== undefined, {timeout: seconds * 1000, polling: 50})
    .then(() => page.evaluate(() => window.vostrelExitCode), () => undefined);
const visible = (page, id) => page.$eval(id, (e) => getComputedStyle(e).display !== 'none');

try {
  // The test track: every marker in 4.5 s; the run ends by itself at count 85 with code 0.
  {
    const {page, log} = await open(sites.testTrack);
    await page.waitForFunction(() => Module._vostrelSyncCount && Module._vostrelSyncCount() > 1, {timeout: 20000})
      .catch(() => {});
    const running = Date.now();
    const code = await exitCode(page, 30);
    const seconds = (Date.now() - running) / 1000;
    check('the test track ends the run with code 0', code === 0, `code ${code}`);
    const stats = log.find((l) => l.includes('last count')) || '';
    check('the last count drawn is 85', / last count 85$/.test(stats), stats);
    console.log(`  ${log.find((l) => l.includes('sync points called out')) || 'no sync figures'}; ` +
                `${log.find((l) => l.includes('last count')) || ''}; ${log.find((l) => l.includes('longest')) || ''}`);
    check('the run lasts about the track', seconds > 2.5 && seconds < 8, `${seconds.toFixed(1)} s after count 2`);
    check('the page says the demo ended', await visible(page, '#ended'));
    await page.close();
  }
  // Escape while the music plays: code 0 at once and the sound output closed.
  {
    const {page} = await open(sites.full);
    await page.waitForFunction(() => Module.vostrelAudio && Module.vostrelAudio.pulled > 0, {timeout: 20000})
      .catch(() => {});
    const audio = await page.evaluateHandle(() => Module.vostrelAudio && Module.vostrelAudio.context);
    await new Promise((r) => setTimeout(r, 500));
    await page.keyboard.press('Escape');
    const code = await exitCode(page, 2);
    check('Escape ends the run with code 0', code === 0, `code ${code}`);
    const state = await audio.evaluate((c) => c && c.state);
    check('Escape stops the music', state === 'closed', `audio ${state}`);
    await page.close();
  }
  // Failures show the program's own text in the box titled "Error", and end with code 1.
  for (const [name, text] of [[sites.noMusic, 'cannot read "demo.mp3"'],
                              [sites.badBitmap, 'Unknown DIB file format.']]) {
    const {page} = await open(name);
    const code = await exitCode(page, 20);
    check(`${name}: the run ends with code 1`, code === 1, `code ${code}`);
    const box = await page.$eval('#error', (e) => (getComputedStyle(e).display !== 'none' ? e.innerText : ''));
    check(`${name}: the page shows "Error" and the message`, box.startsWith('Error') && box.includes(text), box);
    await page.close();
  }
  // Each moment's frame against the desktop's: mean absolute error over all channels, 0-1.
  {
    const {page, log} = await open(sites.capture, `capture=${moments}`);
    const code = await exitCode(page, 240);
    check('the capture program draws every moment', code === 0, `code ${code}; ${log.join('; ')}`);
    for (const moment of moments.split(',')) {
      const count = moment.split(':')[0];
      const web = Buffer.from(await page.evaluate((c) => {
        const frame = (Module.vostrelFrames || {})[c] || new Uint8Array(0);
        let text = '';
        for (let i = 0; i < frame.length; i += 32768) text += String.fromCharCode.apply(null, frame.subarray(i, i + 32768));
        return btoa(text);
      }, count), 'base64');
      const desktop = fs.readFileSync(path.join(desktopFrames, `count-${count}.rgb`));
      let sum = 0;
      for (let i = 0; i < desktop.length; ++i) sum += Math.abs(desktop[i] - (web[i] ?? 0));
      const error = sum / desktop.length / 255;
      check(`count ${moment}: the frame matches the desktop's within 0.02`, web.length === desktop.length && error <= 0.02,
            `mean abs error ${error.toFixed(4)}`);
      const keep = process.env.VOSTREL_WEB_FRAMES;  // a folder to keep the browser's frames in, as PNG
      if (keep) execFileSync('convert', ['-size', '1024x768', '-depth', '8', 'rgb:-', `${keep}/web-count-${count}.png`], {input: web});
    }
    await page.close();
  }
} finally {
  await browser.close();
  server.close();
  fs.rmSync(scratch, {recursive: true, force: true});
}
console.log(`${checks - failures} passed, ${failures} failed`);
process.exit(failures ? 1 : 0);
