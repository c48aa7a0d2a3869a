// Changing several devices in one job: picking them, the preview, the job
// played by the program, and plans read from a file.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { useBrowser, withApp, row, until, visible, hidden } from '../support/fixture.mjs';
import { makeDevice } from '../support/mock-lanfinder.mjs';

useBrowser();

const unit = (i, o = {}) =>
  makeDevice({
    name: `Unit ${String(i).padStart(2, '0')}`,
    serialNumber: `SN${i}`,
    ip: `10.0.1.${i + 1}`,
    subnetMask: '255.255.0.0',
    networkMethod: 'PersistentIP',
    ...o,
  });
const pickBox = (page, name) => row(page, name).locator('input.pick');
const reportRows = (page) =>
  page.$$eval('#b-report-rows tr', (trs) => trs.map((tr) => ({ id: tr.dataset.deviceId, status: tr.dataset.status, text: tr.innerText })));

describe('BatchChanges', () => {
  test('TenPickedDevicesGetARangeAndTheReportShowsAllDone', async () => {
    const devices = Array.from({ length: 12 }, (_, i) => unit(i));
    // Holds an address inside the range: the range goes round it.
    devices.push(makeDevice({ name: 'Zeta', ip: '10.0.2.12', subnetMask: '255.255.0.0' }));
    await withApp('batch-range', { devices }, async ({ page, mock }) => {
      await pickBox(page, 'Unit 00').click();
      await pickBox(page, 'Unit 09').click({ modifiers: ['Shift'] });
      await until(async () => (await page.textContent('#batch-count')) === '10', 'ten picked');
      assert.equal(await pickBox(page, 'Unit 10').isChecked(), false);
      assert.equal(await page.locator('#d-title').isVisible(), false, 'picking does not open the details');

      await page.click('#btn-batch');
      await visible(page, '#b-selection', '10 devices picked');
      await page.selectOption('#b-method', 'PersistentIP');
      await page.fill('#b-start', '10.0.2.10');
      await page.fill('#b-gateway', '10.0.0.254');
      await page.fill('#b-pattern', 'Line-{n}');
      await page.fill('#b-npad', '2');
      await page.click('#b-preview');
      await page.fill('#b-user', 'admin');
      await page.fill('#b-password', 'secret');
      await visible(page, '#b-check-summary', '10 devices will be changed');
      assert.equal(await page.locator('#b-preview-rows tr').count(), 10);
      assert.equal(await page.locator('#b-preview-rows tr.has-problem').count(), 0);

      await page.click('#b-apply');
      const req = await mock.waitForRequest('ChangeDevices');
      const want = [10, 11, 13, 14, 15, 16, 17, 18, 19, 20].map((n) => `10.0.2.${n}`);
      assert.deepEqual(
        req.devices.map((d) => d.ip),
        want,
      );
      assert.deepEqual(
        req.devices.map((d) => d.name),
        Array.from({ length: 10 }, (_, i) => `Line-${String(i + 1).padStart(2, '0')}`),
      );
      assert.deepEqual(
        req.devices.map((d) => d.deviceId),
        devices.slice(0, 10).map((d) => d.id),
      );
      assert.deepEqual(
        [req.username, req.password, req.devices[0].defaultGateway, req.devices[0].subnetMask],
        ['admin', 'secret', '10.0.0.254', '255.255.0.0'],
      );

      await visible(page, '#b-state', 'Finished');
      await visible(page, '#b-counts', '10 done, 0 failed');
      const rows = await reportRows(page);
      assert.deepEqual(
        rows.map((r) => r.status),
        Array(10).fill('done'),
      );
      assert.equal(await page.isDisabled('#b-retry'), true, 'nothing failed');
      assert.equal(await page.isDisabled('#b-cancel'), true, 'nothing runs');
      await visible(page, '#sb-batch', '10 of 10 done');

      const [download] = await Promise.all([page.waitForEvent('download'), page.click('#b-export')]);
      assert.match(download.suggestedFilename(), /^lanfinder-batch-\d{8}-\d{4}\.csv$/);
      const csv = fs
        .readFileSync(await download.path(), 'utf8')
        .replace(/^\uFEFF/, '')
        .trim()
        .split('\r\n');
      assert.equal(csv.length, 11);
      assert.ok(
        csv.slice(1).every((l) => l.includes('Done')),
        csv.join('\n'),
      );
    });
  });

  test('TheHeadTickPicksWhatTheFilterShowsAndXPicksTheFocusedRow', async () => {
    const devices = [unit(0), unit(1), unit(2), makeDevice({ name: 'Other 1' }), makeDevice({ name: 'Other 2' })];
    await withApp('batch-pick', { devices }, async ({ page }) => {
      await page.fill('#search', 'Unit');
      await page.press('#search', 'Enter');
      await until(async () => (await page.locator('#rows tr[aria-rowindex]').count()) === 3, 'three shown');
      await page.click('#device-table .pick-all');
      await until(async () => (await page.textContent('#batch-count')) === '3', 'the three shown picked');
      await page.fill('#search', '');
      await page.press('#search', 'Enter');
      await until(async () => (await page.locator('#rows tr[aria-rowindex]').count()) === 5, 'all shown');
      assert.equal(await pickBox(page, 'Other 1').isChecked(), false);
      assert.equal(await page.$eval('#device-table .pick-all', (el) => el.indeterminate), true);
      // Enter put the keyboard on the first row; X picks the row it is on.
      await page.keyboard.press('Home');
      await page.keyboard.press('x');
      await until(async () => (await page.textContent('#batch-count')) === '4', 'the first row picked');
      assert.equal(await pickBox(page, 'Other 1').isChecked(), true);
      await page.keyboard.press('x');
      await until(async () => (await page.textContent('#batch-count')) === '3', 'and dropped again');
    });
  });

  test('PreflightProblemsAreMarkedAndBlockTheJob', async () => {
    const devices = [unit(0), unit(1), unit(2)];
    await withApp('batch-preflight', { devices }, async ({ page, mock }) => {
      await page.click('#device-table .pick-all');
      await page.click('#btn-batch');
      await page.selectOption('#b-method', 'PersistentIP');
      // Three devices, two host addresses left before the broadcast address.
      await page.fill('#b-start', '10.0.255.253');
      await page.click('#b-preview');
      await visible(page, '#b-preview-rows tr.has-problem', 'the range reaches the end of the subnet');
      assert.equal(await page.locator('#b-preview-rows tr.has-problem').count(), 1);
      assert.equal(await page.isDisabled('#b-apply'), true);
      await page.click('#b-back');
      await page.fill('#b-start', '10.0.1.2');
      await page.fill('#b-pattern', '{serial}');
      await page.click('#b-preview');
      await visible(page, '#b-check-summary', '3 devices will be changed');
      // A device that takes a planned address after the preview: Apply checks again and sends nothing.
      const planned = await page.textContent('#b-preview-rows tr:first-child td:nth-child(3) .changed');
      mock.addDevice(makeDevice({ name: 'Newcomer', ip: planned }));
      await row(page, 'Newcomer').waitFor();
      await page.click('#b-apply');
      await visible(page, '#b-preview-rows tr.has-problem', 'In use by Newcomer');
      assert.equal(await page.isDisabled('#b-apply'), true);
      assert.equal(mock.requests.filter((r) => r.reqType === 'ChangeDevices').length, 0);
    });
  });

  test('FailedDevicesAreReportedAndRetriedAsANewJob', async () => {
    const devices = [unit(0), unit(1), unit(2)];
    const behaviour = { batchOutcomes: { [devices[1].id]: `Address in use by ${devices[2].id}` } };
    await withApp('batch-retry', { devices, behaviour }, async ({ page, mock }) => {
      await page.click('#device-table .pick-all');
      await page.click('#btn-batch');
      await page.fill('#b-pattern', 'Cam {n}');
      await page.click('#b-preview');
      await page.click('#b-apply');
      await visible(page, '#b-counts', '2 done, 1 failed');
      // The holder is named as it is called now: the job has just renamed it.
      await visible(page, '#b-report-rows tr[data-status="failed"]', 'The address is in use by Cam 3');
      mock.behaviour.batchOutcomes = {};
      await page.click('#b-retry');
      const retried = await until(() => mock.requests.filter((r) => r.reqType === 'ChangeDevices')[1], 'a second job');
      assert.deepEqual(
        retried.devices.map((d) => [d.deviceId, d.name]),
        [[devices[1].id, 'Cam 2']],
      );
      await visible(page, '#b-counts', '1 done, 0 failed');
      assert.equal(await page.locator('#b-report-rows tr').count(), 1, 'the new job replaced the report');
    });
  });

  test('ARunningJobIsShownAfterAReloadAndCanBeCancelled', async () => {
    const devices = [unit(0), unit(1), unit(2)];
    await withApp('batch-cancel', { devices, behaviour: { playBatch: false } }, async ({ page, mock }) => {
      await page.click('#device-table .pick-all');
      await page.click('#btn-batch');
      await page.fill('#b-pattern', 'X{n}');
      await page.click('#b-preview');
      await page.click('#b-apply');
      await visible(page, '#b-state', 'Running since');
      mock.setJobItem(devices[0].id, 'done');
      await visible(page, '#b-counts', '1 done');
      await page.reload();
      await visible(page, '#sb-batch', 'Job: 1 of 3 done');
      await page.click('#sb-batch');
      await visible(page, '#b-counts', '1 done, 0 failed, 0 cancelled, 2 to go');
      await page.click('#b-cancel');
      await mock.waitForRequest('CancelBatch');
      await visible(page, '#b-state', 'Cancelled');
      await visible(page, '#b-counts', '1 done, 0 failed, 2 cancelled, 0 to go');
    });
  });

  test('APlanFileListsTheRowsItCannotMatch', async () => {
    const devices = [unit(0, { isAuthentication: true }), unit(1), unit(2, { name: 'Keep me' })];
    const plan = ['serialNumber;name;ip', 'SN0;"Press; left";10.0.3.1', 'SN404;Ghost;10.0.3.2', 'SN2;;10.0.3.3', ''].join('\r\n');
    await withApp('batch-plan', { devices }, async ({ page, mock }) => {
      await page.click('#btn-batch');
      await page.setInputFiles('#b-file', { name: 'plan.csv', mimeType: 'text/csv', buffer: Buffer.from(plan) });
      await visible(page, '#b-plan-issues li', 'Line 3 (SN404): matches no listed device');
      assert.equal(await page.locator('#b-plan-issues li').count(), 1);
      await visible(page, '#b-source', '3 rows, 2 matched');
      assert.equal(await page.locator('#b-preview-rows tr').count(), 2);
      // The login is asked for beside Apply, and the mark goes as it is typed.
      await visible(page, '#b-preview-rows tr.has-problem', 'asks for a user name and password');
      assert.equal(await page.isDisabled('#b-apply'), true);
      await page.fill('#b-user', 'admin');
      await hidden(page, '#b-preview-rows tr.has-problem');
      await page.click('#b-apply');
      const req = await mock.waitForRequest('ChangeDevices');
      assert.deepEqual(
        req.devices.map((d) => [d.deviceId, d.name, d.ip]),
        [
          [devices[0].id, 'Press; left', '10.0.3.1'],
          [devices[2].id, 'Keep me', '10.0.3.3'],
        ],
      );
      assert.equal(req.username, 'admin');
      await visible(page, '#b-counts', '2 done');
    });
  });
});
