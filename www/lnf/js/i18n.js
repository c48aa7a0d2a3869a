// Interface texts. Each language is one flat JSON object in
// translations_json/<code>.json; a missing key falls back to English, then
// to the key itself, so a half-done translation never shows blanks.

export function createTranslator(dict = {}, fallback = {}) {
  const t = (key, params) => {
    let s = Object.prototype.hasOwnProperty.call(dict, key) ? dict[key] : Object.prototype.hasOwnProperty.call(fallback, key) ? fallback[key] : key;
    if (params) s = s.replace(/\{(\w+)\}/g, (m, name) => (name in params ? String(params[name]) : m));
    return s;
  };
  t.has = (key) => key in dict || key in fallback;
  return t;
}

/** Language codes are file names the application lists; anything else is refused before it reaches a URL. */
export function isSafeLanguageCode(code) {
  return typeof code === 'string' && /^[A-Za-z0-9_-]{1,32}$/.test(code);
}

export async function loadDictionary(code, fetchImpl = fetch) {
  if (!isSafeLanguageCode(code)) throw new Error(`Unusable language code ${code}`);
  const response = await fetchImpl(`translations_json/${code}.json`, { cache: 'no-cache' });
  if (!response.ok) throw new Error(`translations_json/${code}.json: HTTP ${response.status}`);
  const dict = await response.json();
  if (dict === null || typeof dict !== 'object' || Array.isArray(dict)) throw new Error(`translations_json/${code}.json is not an object`);
  return dict;
}

/** The language's own name ("Deutsch"), from its file or from the browser. */
export function languageName(code, dict) {
  if (dict && typeof dict['language.name'] === 'string') return dict['language.name'];
  try {
    const names = new Intl.DisplayNames([code], { type: 'language' });
    const name = names.of(code);
    if (name && name !== code) return name.charAt(0).toLocaleUpperCase(code) + name.slice(1);
  } catch {
    // not a BCP 47 code: show the code
  }
  return code;
}
