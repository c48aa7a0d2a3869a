// Every time limit the page keeps, in one place, each named for what it
// bounds. All are milliseconds.

/** The program answers an accepted request at once; silence means it refused it. */
export const ANSWER_TIMEOUT_MS = 5000;

/**
 * How long the program gives a device to come back after a change of its
 * network settings before it posts "Configuration request operation
 * timeout". Must match requestTimeoutMs of the program's EventProcessor:
 * the progress bar fills over exactly this time.
 */
export const CONFIG_TIMEOUT_MS = 120000;

/**
 * How long a change's outcome notification may still be told as belonging
 * to the device this page changed: the program's own time-out plus slack
 * for the notification to travel.
 */
export const CHANGE_OUTCOME_MS = CONFIG_TIMEOUT_MS + 10000;

/** The same for a localize request, which the device answers in seconds. */
export const LOCALIZE_OUTCOME_MS = 15000;

/** The same for a favourite, which the program settles on its own. */
export const FAVORITE_OUTCOME_MS = 10000;

/**
 * A favourite request that changes nothing brings no diff; after this the
 * star shows the program's value again.
 */
export const FAVORITE_SETTLE_MS = 3000;

/** A change still pending after this is reported as stuck. */
export const PENDING_STUCK_MS = 30000;

/** An exported file's object URL outlives the click that downloads it by this. */
export const DOWNLOAD_URL_LIFETIME_MS = 10000;

/** Typing in the search box filters once the keys pause for this long. */
export const SEARCH_DEBOUNCE_MS = 80;

/** A hidden tab gets no animation frames; its work runs after this instead. */
export const HIDDEN_TAB_FRAME_MS = 250;

/**
 * Waits before each new try after a socket lost without the program's
 * goodbye. Together they stay well inside the 2 seconds after which the
 * program ends when no browser is connected.
 */
export const RECONNECT_DELAYS_MS = [100, 400, 800];
