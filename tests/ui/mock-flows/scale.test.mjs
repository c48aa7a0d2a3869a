// Thousands of devices: the page keeps only the visible rows in the DOM and
// still applies every diff. (Speed is measured in bench/ui, not here.)
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { useBrowser, withApp, until, visible } from '../support/fixture.mjs';
import { makeDevice } from '../support/mock-lanfinder.mjs';

useBrowser();

describe('ManyDevices', () => {
  test('FiveThousandDevicesRenderOnlyTheVisibleRowsAndFollowUpdates', async () => {
    const devices = Array.from({ length: 5000 }, (_, i) => makeDevice({ name: `Dev ${String(i).padStart(4, '0')}` }));
    await withApp('scale-5000', { devices }, async ({ page, mock }) => {
      await visible(page, '#row-count', '5,000 devices', 30000);
      const inDom = await page.locator('#rows tr[aria-rowindex]').count();
      assert.ok(inDom > 5 && inDom < 200, `rows in the DOM: ${inDom}`);
      assert.equal(await page.getAttribute('#device-table', 'aria-rowcount'), '5001');
      // Scroll to the end: the last device is there.
      await page.evaluate(() => {
        const s = document.getElementById('table-scroll');
        s.scrollTop = s.scrollHeight;
      });
      await visible(page, '#rows .name-text', 'Dev 4999');
      // A click on a row far down opens that row, not one the focus scrolled to.
      await page.locator('#rows tr[aria-rowindex]', { has: page.locator('.name-text', { hasText: 'Dev 4990' }) }).click();
      await visible(page, '#d-title', 'Dev 4990');
      // A burst of updates to rows out of sight and in sight.
      for (let i = 0; i < 200; i++) mock.updateDevice(devices[4999 - i].id, { deviceState: 'ERROR' });
      await until(async () => (await page.locator('#rows .dot.ERROR').count()) > 5, 'visible rows updated');
      await until(async () => (await page.textContent('[data-count="attention"]')) === '200', 'counts updated');
      mock.removeDevice(devices[4999].id);
      await visible(page, '#row-count', '4,999 devices');
      // The row of the device that left stays where it was, marked.
      await visible(page, '#rows tr.gone .name-text', 'Dev 4999');
    });
  });
});
