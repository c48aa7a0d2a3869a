// Plural categories and number texts for a language. Building an
// Intl.PluralRules or Intl.NumberFormat costs far more than using one, and
// the page counts its rows on every render pass, so each is built once per
// language.

const pluralRules = new Map(); // language -> Intl.PluralRules, or null when unknown
const numberFormats = new Map(); // language -> Intl.NumberFormat

/** The plural category of n in the language; "other" for an unknown language. */
export function pluralCategory(language, n) {
  if (!pluralRules.has(language)) {
    let rules = null;
    try {
      rules = new Intl.PluralRules(language);
    } catch {
      // unknown language: "other"
    }
    pluralRules.set(language, rules);
  }
  const rules = pluralRules.get(language);
  return rules ? rules.select(n) : 'other';
}

/** n as Number.prototype.toLocaleString(language) writes it (and throws as it does). */
export function formatNumber(language, n) {
  let format = numberFormats.get(language);
  if (!format) {
    format = new Intl.NumberFormat(language);
    numberFormats.set(language, format);
  }
  return format.format(n);
}
