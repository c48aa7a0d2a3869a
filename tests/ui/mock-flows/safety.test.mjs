// Device texts are data, never markup; links open only plain web pages; the
// page loads nothing from anywhere but the application.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { useBrowser, withApp, row, visible } from '../support/fixture.mjs';
import { makeDevice } from '../support/mock-lanfinder.mjs';

useBrowser();

const EVIL = '<img src=x onerror="window.__pwned=1"><b>bold</b>';

describe('Safety', () => {
  test('DeviceTextsAreShownAsTextEverywhere', async () => {
    const d = makeDevice({
      name: EVIL,
      type: EVIL,
      fwVersion: EVIL,
      manufacturer: EVIL,
      statusStringDetails: [EVIL],
      deviceState: 'WARNING',
    });
    await withApp('safety-texts', { devices: [d] }, async ({ page, mock }) => {
      await row(page, 'onerror').waitFor();
      await row(page, 'onerror').click();
      await visible(page, '#d-title', EVIL);
      mock.notify(EVIL);
      mock.tick();
      await visible(page, '#toasts .toast', EVIL);
      await page.click('#btn-export');
      assert.equal(await page.locator('img[src="x"], b').count(), 0);
      assert.equal(await page.evaluate(() => window.__pwned), undefined);
      assert.equal(await page.textContent('#d-title'), EVIL);
    });
  });

  test('OnlyHttpAndHttpsDeviceAddressesBecomeLinks', async () => {
    const good = makeDevice({ name: 'Good', url: 'http://10.0.0.9/index.html' });
    const bad = makeDevice({ name: 'Bad', url: 'javascript:window.__pwned=1' });
    await withApp('safety-links', { devices: [good, bad] }, async ({ page }) => {
      await row(page, 'Good').click();
      const link = await visible(page, '#d-web');
      assert.equal(await link.getAttribute('href'), 'http://10.0.0.9/index.html');
      assert.equal(await link.getAttribute('target'), '_blank');
      assert.deepEqual((await link.getAttribute('rel')).split(' ').sort(), ['noopener', 'noreferrer']);
      await row(page, 'Bad').click();
      await visible(page, '#d-title', 'Bad');
      assert.equal(await page.isVisible('#d-web'), false);
      assert.equal(await page.getAttribute('#d-web', 'href'), null);
    });
  });

  test('EverythingIsLoadedFromTheApplicationItself', async () => {
    await withApp('safety-offline', { devices: [makeDevice({ name: 'Cam' })] }, async ({ page, mock, context }) => {
      const foreign = [];
      context.on('request', (r) => {
        if (!r.url().startsWith(mock.url) && !r.url().startsWith('data:') && !r.url().startsWith('blob:')) foreign.push(r.url());
      });
      await page.reload();
      await row(page, 'Cam').waitFor();
      await page.selectOption('#language', 'de');
      await visible(page, '#sb-connection-text', 'Verbunden');
      assert.deepEqual(foreign, []);
      const csp = await page.getAttribute('meta[http-equiv="Content-Security-Policy"]', 'content');
      assert.match(csp, /script-src 'self'/);
    });
  });
});
