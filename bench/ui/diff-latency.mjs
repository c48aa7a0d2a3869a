#!/usr/bin/env node
// Time from a diff frame (or the full state) reaching the page to the
// updated page being painted, with 1,000 and 5,000 devices, in Debian's chromium headless
// against the mock application of tests/ui. Run from anywhere:
//   node bench/ui/diff-latency.mjs [--sizes 1000,5000] [--reps 40] [--order shuffled]
// Prints a table and writes bench/ui/results.json.

import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const support = path.resolve(here, '../../tests/ui/support');
const { MockLanfinder, makeDevice } = await import(path.join(support, 'mock-lanfinder.mjs'));
const { launch } = await import(path.join(support, 'browser.mjs'));

const arg = (name, fallback) => {
  const i = process.argv.indexOf(`--${name}`);
  return i > 0 ? process.argv[i + 1] : fallback;
};
const sizes = arg('sizes', '1000,5000').split(',').map(Number);
const reps = Number(arg('reps', '40'));
// "shuffled": the devices arrive out of name order, as discovered, so that
// the page's first sort has work to do.
const shuffled = arg('order', 'sorted') === 'shuffled';

const stats = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  const q = (p) => s[Math.min(s.length - 1, Math.floor(p * s.length))];
  return { median: +q(0.5).toFixed(1), p95: +q(0.95).toFixed(1), max: +s.at(-1).toFixed(1), n: s.length };
};

async function measure(page, mock, send, frames) {
  await page.evaluate(() => {
    window.__bench = [];
  });
  send();
  const results = await page
    .waitForFunction(
      (want) => {
        const got = window.__bench.reduce((n, b) => n + b.n, 0);
        return got >= want ? window.__bench : null;
      },
      frames,
      { timeout: 60000, polling: 5 },
    )
    .then((h) => h.jsonValue());
  const first = results[0].first;
  return {
    painted: results.at(-1).painted - first,
    rendered: results.at(-1).rendered - first,
    work: results.reduce((t, b) => t + b.work, 0), // the page's own script time for all batches
    batches: results.length,
  };
}

const out = { date: new Date().toISOString(), chromium: null, cpus: (await import('node:os')).cpus().length, results: {} };
const { browser, close } = await launch();
out.chromium = browser.version();
try {
  for (const n of sizes) {
    // 7919 is prime, so this steps through every number below n once.
    const number = (i) => (shuffled && n % 7919 ? (i * 7919) % n : i);
    const devices = Array.from({ length: n }, (_, i) => makeDevice({ name: `Device ${String(number(i)).padStart(5, '0')}` }));
    const mock = await new MockLanfinder({ devices }).start();
    const context = await browser.newContext({ viewport: { width: 1366, height: 768 } });
    const page = await context.newPage();
    // The first full state, from its frame's arrival on the socket to the
    // first painted frame that shows its rows: the page's own work, without
    // the load of the page and its modules.
    await page.addInitScript((want) => {
      const Native = window.WebSocket;
      window.WebSocket = class extends Native {
        constructor(...args) {
          super(...args);
          this.addEventListener('message', () => {
            if (window.__firstFrameAt === undefined) window.__firstFrameAt = performance.now();
          });
        }
      };
      const shown = () =>
        document.querySelector('#rows tr[aria-rowindex]') && document.getElementById('sb-devices')?.textContent.includes(want.toLocaleString('en'));
      const check = () => {
        if (window.__firstFrameAt !== undefined && shown()) requestAnimationFrame(() => (window.__firstPainted = performance.now()));
        else requestAnimationFrame(check);
      };
      requestAnimationFrame(check);
    }, n);
    const t0 = Date.now();
    await page.goto(mock.url);
    await page.waitForFunction(
      (want) =>
        document.querySelectorAll('#rows tr[aria-rowindex]').length > 0 &&
        document.getElementById('sb-devices').textContent.includes(want.toLocaleString('en')),
      n,
      { timeout: 120000 },
    );
    const fullLoadMs = Date.now() - t0;
    const firstFullMs = await page
      .waitForFunction(() => window.__firstPainted !== undefined && window.__firstPainted - window.__firstFrameAt, null, { timeout: 60000 })
      .then((h) => h.jsonValue());
    // Each render pass of a batch of frames, timed from the page's own store
    // (app.js registered its renderer first, so this one runs after it).
    await page.evaluate(async () => {
      const { store } = await import(new URL('js/store.js', document.baseURI).href);
      store.onRender(({ batch }) => {
        if (!batch) return;
        const rendered = performance.now();
        requestAnimationFrame(() =>
          window.__bench?.push({ first: batch.arrived[0], n: batch.arrived.length, rendered, work: rendered - batch.started, painted: performance.now() }),
        );
      });
    });

    const r = { fullStateLoadMs: fullLoadMs, firstFullStateMs: +firstFullMs.toFixed(1) };
    const samples = {
      fullState: [],
      fullStateWork: [],
      renameVisible: [],
      renameVisibleRendered: [],
      scanTick: [],
      stateChange: [],
      burst100: [],
      burst100Work: [],
      add100: [],
      add100Work: [],
      remove100: [],
      remove100Work: [],
    };
    for (let i = 0; i < reps; i++) {
      // A visible device renamed: the name is the sort key, so the view is rebuilt.
      const a = await measure(
        page,
        mock,
        () => mock.updateDevice(devices[i % 10].id, { name: `Device ${String(i % 10).padStart(5, '0')}${i % 2 ? '' : ' '}` }),
        1,
      );
      samples.renameVisible.push(a.painted);
      samples.renameVisibleRendered.push(a.rendered);
      samples.scanTick.push((await measure(page, mock, () => mock.tick(), 1)).painted);
      samples.stateChange.push(
        (await measure(page, mock, () => mock.updateDevice(devices[(i * 37) % n].id, { deviceState: i % 2 ? 'WARNING' : 'ACTIVE' }), 1)).painted,
      );
    }
    // The whole state again on the open socket, as a reconnect brings it:
    // timed from the frame's arrival, not from the page load.
    const fullText = () => JSON.stringify(mock.state, null, 4);
    for (let i = 0; i < Math.max(6, reps / 2); i++) {
      const f = await measure(page, mock, () => mock.sendRaw(fullText()), 1);
      samples.fullState.push(f.painted);
      samples.fullStateWork.push(f.work);
    }
    for (let i = 0; i < Math.max(5, reps / 4); i++) {
      const ids = Array.from({ length: 100 }, (_, k) => devices[(i * 100 + k) % n].id);
      const b = await measure(page, mock, () => ids.forEach((id) => mock.updateDevice(id, { isProcessing: i % 2 === 0 })), 100);
      samples.burst100.push(b.painted);
      samples.burst100Work.push(b.work);
      const extra = Array.from({ length: 100 }, () => makeDevice());
      const a = await measure(page, mock, () => extra.forEach((d) => mock.addDevice(d)), 100);
      samples.add100.push(a.painted);
      samples.add100Work.push(a.work);
      const r = await measure(page, mock, () => extra.forEach((d) => mock.removeDevice(d.id)), 100);
      samples.remove100.push(r.painted);
      samples.remove100Work.push(r.work);
    }
    for (const [k, v] of Object.entries(samples)) r[k] = stats(v);
    out.results[n] = r;
    await context.close();
    await mock.stop();
  }
} finally {
  await close();
}

console.log(`chromium ${out.chromium}, ${out.cpus} CPUs, ${reps} repetitions; milliseconds from the first frame's arrival to the painted page`);
const rows = [
  'fullState',
  'fullStateWork',
  'renameVisible',
  'renameVisibleRendered',
  'scanTick',
  'stateChange',
  'burst100',
  'burst100Work',
  'add100',
  'add100Work',
  'remove100',
  'remove100Work',
];
console.log(['scenario'.padEnd(24), ...sizes.map((n) => `${n} devices (median / p95)`.padEnd(28))].join(''));
for (const k of rows) console.log([k.padEnd(24), ...sizes.map((n) => `${out.results[n][k].median} / ${out.results[n][k].p95}`.padEnd(28))].join(''));
for (const k of ['firstFullStateMs', 'fullStateLoadMs']) console.log([k.padEnd(24), ...sizes.map((n) => String(out.results[n][k]).padEnd(28))].join(''));
fs.writeFileSync(path.join(here, 'results.json'), `${JSON.stringify(out, null, 2)}\n`);
