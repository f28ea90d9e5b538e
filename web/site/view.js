// The page's words and buttons: the status line, the alert, the notice, and which buttons can be used now.
import { page } from "./state.js";

export const $ = (id) => document.getElementById(id);

export function fill(text, ...args) {
  return args.reduce((t, a) => t.replace("%s", a), text);
}

export function say(text, failed) {
  $("alert").hidden = !failed;
  $("alert").textContent = failed ? text : "";
  if (!failed) $("status").textContent = text;
}

// Once, below the buttons: what the page could not keep, an update.
export function notice(text) {
  $("notice").hidden = !text;
  $("notice").textContent = text;
}

export function tellStorageFailure(e) {
  notice(fill(page.texts.storageFailed, e && (e.name || e.message) || e));
}

export function enableButtons() {
  const idle = !page.reading && !page.noSerial;
  $("choose").disabled = !idle;
  $("other").disabled = !idle;
  $("read").disabled = !idle || page.chosen === null || page.auto;
  $("cancel").hidden = !page.reading || page.auto;
  $("auto").disabled = page.noSerial;
  // Plug-and-read waits in the core for hours: its next reading takes the language chosen meanwhile.
  for (const b of document.querySelectorAll("[data-language]")) b.disabled = page.reading && !page.auto;
}
