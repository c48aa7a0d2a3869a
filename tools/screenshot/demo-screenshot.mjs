#!/usr/bin/env node
// Photographs the running demo (scripts/demo) once the simulated devices
// are listed, for the README: docs/demo.png.
//   node tools/screenshot/demo-screenshot.mjs [URL] [FILE]
// Uses Debian's chromium through the playwright-core that scripts/setup
// installs for the browser tests.
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch } from '../../tests/ui/support/browser.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const url = process.argv[2] || 'http://127.0.0.1:8080/';
const file = process.argv[3] || path.join(root, 'docs/demo.png');
const minimum = Number(process.env.DEMO_MIN_DEVICES || 12);

const { browser, close } = await launch();
try {
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  const page = await context.newPage();
  page.on('pageerror', (e) => console.error('page error:', e));
  await page.goto(url);
  await page.waitForFunction((n) => document.querySelectorAll('#rows tr[aria-rowindex]').length >= n,
    minimum, { timeout: 30000 });
  // Let the reachability probes of the first answers settle, then wait for
  // the whole fleet (one device falls silent now and then).
  await page.waitForTimeout(2500);
  await page.waitForFunction((n) => document.querySelectorAll('#rows tr[aria-rowindex]').length >= n,
    minimum, { timeout: 30000 });
  await page.screenshot({ path: file });
  console.log('wrote', file);
} finally {
  await close();
}
