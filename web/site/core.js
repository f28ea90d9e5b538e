// The WebAssembly core: its one instance, every call the page makes into it, and the queue that gives it
// those calls one at a time.
let core = null;
let queue = Promise.resolve();

// hooks: serialLine, and the core's calls back into the page (onWaiting, onTrace, onLast, onSeen, onPane).
export async function startCore(hooks) {
  core = await Bravelle(hooks);
}

// The core takes one call at a time: a reading suspended in it must not see another (ccall would take
// the reading's promise for its own), so every call that can come while one runs waits its turn.
export function serialised(work) {
  const turn = queue.then(work);
  queue = turn.catch(() => {});
  return turn;
}

// Asked once, before any reading: a language or an export may be chosen while one is suspended.
export function catalogueOf(language) {
  return JSON.parse(core.ccall("web_texts", "string", ["number"], [language]));
}

export function csvHeader(separator, schema) {
  return core.ccall("web_csv_header", "string", ["number", "number"], [separator.charCodeAt(0), schema]);
}

// The calls below go through ccall: only inside serialised.

// The index of the port the core's port rules prefer among the vendors ("10c4;0403;"), or -1.
export function autoPortIndex(vendors) {
  return core.ccall("web_auto_port", "number", ["string"], [vendors]);
}

// One reading; with untilAnswer, plug-and-read's wait for a unit that answers first. Its answer, parsed.
export async function readUnit({ label, language, fixture, expected, untilAnswer }) {
  return JSON.parse(await core.ccall(
      "web_read", "string", ["string", "number", "string", "string", "string", "number"],
      [label, language, fixture, expected.software, expected.circuit, untilAnswer ? 1 : 0],
      { async: true }));
}

export function waitGone(label) {
  return core.ccall("web_wait_gone", "number", ["string"], [label], { async: true });
}

// Raw calls, which never suspend: safe while a reading is suspended in the core.

export function waitingText(ms, attempts) {
  return core.UTF8ToString(core._web_waiting_text(ms, attempts));
}

export function stopReading() {
  core._web_cancel();
}

export function endCommand() {
  return core._web_end_command();
}
