// What the user looks at lives in the address: search, quick filters, card,
// sort and the open device, so a reload or a bookmark comes back to it.
// Other parameters of the address (the access token) are left as they are.

const KEYS = ['q', 'filter', 'nic', 'sort', 'dir', 'device'];

/** The view settings an address asks for; absent ones are undefined. */
export function readViewQuery(search, { filters: known = [], columns = [] } = {}) {
  const p = new URLSearchParams(search);
  const out = {};
  if (p.has('q')) out.query = p.get('q');
  if (p.has('filter'))
    out.filters = p
      .get('filter')
      .split(',')
      .filter((f) => known.includes(f));
  if (p.has('nic')) out.nic = p.get('nic');
  if (p.has('sort') && columns.includes(p.get('sort'))) {
    out.sortKey = p.get('sort');
    out.sortDir = p.get('dir') === 'desc' ? 'desc' : 'asc';
  }
  if (p.get('device')) out.selectedId = p.get('device');
  return out;
}

/**
 * The address's query text for these settings, keeping the parameters
 * that are not the view's. Defaults are left out, so a plain view has a
 * plain address.
 */
export function writeViewQuery(search, { query = '', filters = [], nic = '', sortKey = 'name', sortDir = 'asc', selectedId = null }) {
  const p = new URLSearchParams(search);
  for (const k of KEYS) p.delete(k);
  if (query) p.set('q', query);
  if (filters.length) p.set('filter', [...filters].join(','));
  if (nic) p.set('nic', nic);
  if (sortKey !== 'name' || sortDir !== 'asc') {
    p.set('sort', sortKey);
    p.set('dir', sortDir);
  }
  if (selectedId) p.set('device', selectedId);
  const text = p.toString();
  return text ? `?${text}` : '';
}
