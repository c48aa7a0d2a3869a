// Shared set-up of the browser flows: one chromium per test file, one mock
// application and one page per test, a screenshot when a test fails, and a
// check that the page logged no error and sent no request the application
// would reject.

import { before, after } from 'node:test';
import assert from 'node:assert/strict';
import { launch, openPage, screenshot } from './browser.mjs';
import { MockLanfinder } from './mock-lanfinder.mjs';

let shared = null;

export function useBrowser() {
  before(async () => {
    shared = await launch();
  });
  after(async () => {
    await shared?.close();
  });
}

/**
 * Runs `fn({ page, mock, browser })` against a fresh mock application built
 * from `options` (MockLanfinder options plus `viewport`).
 */
export async function withApp(name, options, fn) {
  const { viewport, expectErrors = false, allowSocketErrors = false, ...mockOptions } = options || {};
  const mock = await new MockLanfinder(mockOptions).start();
  const context = await shared.browser.newContext({ viewport: viewport || { width: 1366, height: 768 }, acceptDownloads: true });
  const page = await openPage(shared.browser, mock.url, { context });
  try {
    await fn({ page, mock, context, browser: shared.browser });
    assert.deepEqual(mock.rejected, [], 'the page sent requests the application rejects');
    // Chromium itself logs a refused WebSocket as an error.
    const errors = allowSocketErrors ? page.errors.filter((e) => !/WebSocket connection to .* failed/.test(e)) : page.errors;
    if (!expectErrors) assert.deepEqual(errors, [], 'the page logged errors');
    await screenshot(page, name);
  } catch (e) {
    await screenshot(page, `FAILED-${name}`);
    throw e;
  } finally {
    await context.close().catch(() => {});
    await mock.stop().catch(() => {});
  }
}

/** Rows of the table as they are shown: [{ id, name, cells }] for rows in the DOM. */
export async function shownRows(page) {
  return page.$$eval('#rows tr[aria-rowindex]', (trs) =>
    trs.map((tr) => ({
      name: tr.querySelector('.name-text')?.textContent ?? '',
      text: tr.textContent,
      classes: tr.className,
    })),
  );
}

export const row = (page, name) => page.locator('#rows tr[aria-rowindex]', { has: page.locator('.name-text', { hasText: name }) });

/**
 * Waits until `probe()` returns a truthy value and returns it; fails with
 * `what` and the last value seen after `timeoutMs`.
 */
export async function until(probe, what, { timeoutMs = 20000, intervalMs = 50 } = {}) {
  const deadline = Date.now() + timeoutMs;
  let last;
  for (;;) {
    try {
      last = await probe();
      if (last) return last;
    } catch (e) {
      last = e;
    }
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}; last: ${last instanceof Error ? last.message : JSON.stringify(last)}`);
    await new Promise((r) => setTimeout(r, intervalMs));
  }
}

/** Waits for a visible element matching the selector with the text. */
export async function visible(page, selector, hasText, timeout = 20000) {
  const loc = hasText === undefined ? page.locator(selector) : page.locator(selector, { hasText });
  await loc.first().waitFor({ state: 'visible', timeout });
  return loc.first();
}

export async function hidden(page, selector, timeout = 20000) {
  await page.locator(selector).first().waitFor({ state: 'hidden', timeout });
}

export const toastTexts = (page) => page.$$eval('#toasts .toast', (els) => els.map((e) => e.innerText.replace(/\s+/g, ' ').trim()));
