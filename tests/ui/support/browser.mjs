// Debian's chromium, headless, driven by playwright-core.

import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const ARTIFACTS = path.resolve(here, '../artifacts');

let chromium;
try {
  ({ chromium } = await import('playwright-core'));
} catch {
  throw new Error('playwright-core is missing: run scripts/setup (npm install in tests/ui)');
}

export const CHROMIUM = process.env.LANFINDER_CHROMIUM || '/usr/bin/chromium';

export async function launch() {
  // Playwright gives every launch a fresh temporary profile of its own
  // (its --user-data-dir), removed when the browser closes.
  const browser = await chromium.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: [
      '--headless',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
  });
  const close = async () => {
    await browser.close().catch(() => {});
  };
  return { browser, close };
}

/** A page that records console errors and page errors, to fail tests on them. */
export async function openPage(browser, url, { viewport = { width: 1366, height: 768 }, context } = {}) {
  const ctx = context || (await browser.newContext({ viewport, acceptDownloads: true }));
  const page = await ctx.newPage();
  page.errors = [];
  page.on('pageerror', (e) => page.errors.push(String(e)));
  page.on('console', (m) => {
    if (m.type() === 'error') page.errors.push(m.text());
  });
  await page.goto(url);
  return page;
}

export async function screenshot(page, name) {
  fs.mkdirSync(ARTIFACTS, { recursive: true });
  const file = path.join(ARTIFACTS, `${name.replace(/[^a-z0-9_.-]+/gi, '-')}.png`);
  await page.screenshot({ path: file }).catch(() => {});
  return file;
}

/**
 * A copy of the application state the page holds: { devices: [...],
 * autoScanner, ... }. The page's modules are one instance per page, so
 * importing store.js from the page's own address reaches the store that
 * app.js fills; the shipped page needs no hook for it.
 */
export function pageState(page) {
  return page.evaluate(async () => {
    const { store } = await import(new URL('js/store.js', document.baseURI).href);
    const { devices, rev, ipIndex, ipKeyOf, ...app } = store.state;
    return { ...structuredClone(app), devices: [...devices.values()].map((d) => structuredClone(d)) };
  });
}
