// The connection: the closed application, a lost socket, reconnecting and reloading.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { useBrowser, withApp, row, until, visible, hidden } from '../support/fixture.mjs';
import { makeDevice } from '../support/mock-lanfinder.mjs';

useBrowser();

describe('Connection', () => {
  test('SessionClosingShowsThatTheApplicationHasClosed', async () => {
    await withApp('connection-closed', { devices: [makeDevice({ name: 'Cam' })] }, async ({ page, mock }) => {
      await row(page, 'Cam').waitFor();
      mock.shutdown();
      await visible(page, '#banner-closed', 'lanfinder has closed');
      await visible(page, '#sb-connection-text', 'Not connected');
      // Actions are refused with a message instead of vanishing.
      await row(page, 'Cam').click();
      assert.equal(await page.isDisabled('#f-apply'), true);
      assert.equal(await page.isDisabled('#d-localize'), true);
    });
  });

  test('ALostSocketIsReconnectedAtOnceWithAFreshState', async () => {
    await withApp('connection-hiccup', { devices: [makeDevice({ name: 'Before' })] }, async ({ page, mock }) => {
      await row(page, 'Before').waitFor();
      mock.state.devices.list = [makeDevice({ name: 'After' })];
      mock.drop();
      // Quick enough for the program's two-second grace period.
      await row(page, 'After').waitFor();
      assert.equal(await row(page, 'Before').count(), 0);
      assert.equal(mock.connects, 2);
      assert.equal(await page.isVisible('#banner-closed'), false);
    });
  });

  test('WhenReconnectingFailsThePageSaysSoAndReconnectWorksLater', async () => {
    await withApp('connection-dropped', { devices: [makeDevice({ name: 'Before' })], allowSocketErrors: true }, async ({ page, mock }) => {
      await row(page, 'Before').waitFor();
      mock.drop({ refuse: true });
      await visible(page, '#banner-closed', 'connection to lanfinder was lost');
      await visible(page, '#sb-connection-text', 'Not connected');
      mock.accept();
      mock.state.devices.list = [makeDevice({ name: 'After' })];
      await page.click('#btn-reconnect');
      await row(page, 'After').waitFor();
      await hidden(page, '#banner-closed');
      assert.equal(await row(page, 'Before').count(), 0);
    });
  });

  test('AReloadReconnectsAtOnceAndGetsTheFullStateAgain', async () => {
    await withApp('connection-reload', { devices: [makeDevice({ name: 'Cam' })] }, async ({ page, mock }) => {
      await row(page, 'Cam').waitFor();
      const closedAt = { t: 0 };
      const [ws] = mock.clients;
      ws.on('close', () => {
        closedAt.t = Date.now();
      });
      await page.reload();
      await row(page, 'Cam').waitFor();
      await until(() => mock.connects === 2 && closedAt.t > 0, 'second connection');
      // Well inside the application's two-second grace period.
      const gap = [...mock.clients].length === 1 ? Date.now() - closedAt.t : -1;
      assert.ok(gap >= 0, 'one client after the reload');
      assert.equal(await page.isVisible('#banner-closed'), false);
    });
  });

  test('AnAnswerLessRequestWhileClosedIsNotSent', async () => {
    await withApp('connection-not-sent', { devices: [makeDevice({ name: 'Cam' })] }, async ({ page, mock }) => {
      await row(page, 'Cam').waitFor();
      mock.shutdown();
      await visible(page, '#banner-closed');
      await page.click('#btn-theme');
      await visible(page, '#toasts .toast.error', 'Not connected to lanfinder');
      assert.equal(mock.requests.length, 0);
    });
  });
});
