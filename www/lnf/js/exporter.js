// Export of the device list as CSV (for spreadsheets) and JSON.

const CSV_KEYS = [
  'name',
  'type',
  'articleNumber',
  'serialNumber',
  'manufacturer',
  'manufactureDate',
  'ip',
  'subnetMask',
  'defaultGateway',
  'networkMethod',
  'deviceState',
  'statusStringDetails',
  'fwVersion',
  'hwVersion',
  'mac',
  'ipOfAssociatedNic',
  'url',
  'isFavorite',
  'isMissing',
  'isAccessible',
  'isAuthentication',
  'id',
];

export { CSV_KEYS };

/**
 * One CSV cell. Device texts come from the network: a text that a
 * spreadsheet would run as a formula is prefixed with an apostrophe.
 */
export function csvCell(value) {
  let s = Array.isArray(value) ? value.join('; ') : value === null || value === undefined ? '' : String(value);
  if (/^[=+\-@\t\r]/.test(s)) s = `'${s}`;
  if (/[",\r\n;]/.test(s) || s !== s.trim()) s = `"${s.replace(/"/g, '""')}"`;
  return s;
}

/** CSV text with a header line, CRLF line ends (RFC 4180) and a BOM so spreadsheets read UTF-8. */
export function toCsv(devices, header = CSV_KEYS) {
  const lines = [header.map(csvCell).join(',')];
  for (const d of devices) lines.push(CSV_KEYS.map((k) => csvCell(d[k])).join(','));
  return `\uFEFF${lines.join('\r\n')}\r\n`;
}

export function toJson(devices) {
  return `${JSON.stringify(devices, null, 2)}\n`;
}

/** "lanfinder-devices-20261207-2315" for a date. */
export function exportFileName(date, extension) {
  const p = (n) => String(n).padStart(2, '0');
  return `lanfinder-devices-${date.getFullYear()}${p(date.getMonth() + 1)}${p(date.getDate())}-${p(date.getHours())}${p(date.getMinutes())}.${extension}`;
}
