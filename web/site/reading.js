// One reading in the core, from the Read button to what the page shows and keeps of it; its stop, and
// what becomes of it when the page goes.
import { endCommand, readUnit, serialised, stopReading } from "./core.js";
import { historyStore } from "./history.js";
import { closePane, openPane, stopTicking } from "./pane.js";
import { refreshPorts } from "./ports.js";
import { page } from "./state.js";
import { expectations, fixtureOf } from "./station.js";
import { showNewest } from "./table.js";
import { $, enableButtons, fill, say, tellStorageFailure } from "./view.js";

// The core's hook for each byte on the line, kept for the diagnostic as bravelle-cli --trace writes it.
export function traceByte(ms, hostToUnit, byte) {
  const t = Math.max(0, Math.floor(ms));
  page.trace.push(`${Math.floor(t / 1000)}.${String(t % 1000).padStart(3, "0")} ${hostToUnit ? "H>U" : "U>H"} ` +
                  byte.toString(16).toUpperCase().padStart(2, "0"));
}

// Whether the keyboard was on Read.
function beginReading() {
  page.reading = true;
  page.trace = [];
  // Disabling the focused Read button would drop the keyboard's focus on the page's body.
  const focused = document.activeElement === $("read");
  enableButtons();
  if (focused) $("cancel").focus();
  say("", false);
  $("identity").hidden = true;
  $("status").textContent = "";
  openPane();
  return focused;
}

async function askCore(label, untilAnswer) {
  const fixture = fixtureOf(label);
  try {
    return await readUnit({ label, language: page.language, fixture, expected: expectations(), untilAnswer });
  } catch (e) {
    // The core itself failed: say so rather than leave the buttons dead.
    return { pane: [], message: String(e && e.message || e) };
  } finally {
    stopTicking();
    page.reading = false;
  }
}

function showIdentity(identity, done) {
  $("serial").textContent = identity.serial;
  $("circuit").textContent = identity.circuit;
  $("software").textContent = identity.software;
  $("identity").hidden = false;
  $("identity").classList.toggle("rejected", !done);
}

// Kept in memory whatever the browser's storage says; its refusal is told.
async function keep(answer) {
  page.lastRecord = answer.json;
  try {
    await historyStore.add({ json: answer.json, csv: answer.csv, csvSemicolon: answer.csvSemicolon });
  } catch (e) {
    tellStorageFailure(e);
  }
  showNewest();
}

// The result is announced in the status region, and the keyboard's focus goes to it.
function announce(answer, done, focused) {
  if (answer.message) say(answer.message, true);
  const identity = answer.identity;
  if (done) $("status").textContent = fill(page.texts.readOk, identity.serial, identity.circuit, identity.software);
  if (focused || document.activeElement === $("cancel") || document.activeElement === document.body) {
    (answer.message ? $("alert") : done ? $("identity") : $("read")).focus();
  }
}

// One reading on the chosen port; plug-and-read's waits until a unit answers. Only inside serialised.
export async function runReading(untilAnswer) {
  const label = page.chosen;
  const focused = beginReading();
  const answer = await askCore(label, untilAnswer);
  closePane(answer.pane);
  const done = answer.identity && answer.outcome === "ok";
  if (answer.identity) showIdentity(answer.identity, done);
  // Plug-and-read looks at a port it cannot use again and again: no record for each look.
  if (answer.json && !(untilAnswer && answer.outcome === "port-error")) await keep(answer);
  $("diagnostic").disabled = page.lastRecord === null;
  await refreshPorts();
  announce(answer, done, focused);
  document.body.dataset.readings = String(Number(document.body.dataset.readings || 0) + 1);
  return answer;
}

export function read() {
  if (page.reading || page.chosen === null || page.auto) return;
  return serialised(() => (page.chosen === null || page.auto ? null : runReading(false)));
}

export function cancel() {
  if (!page.reading) return;
  stopReading();  // a raw call: see serialised
  page.line.interrupt();
  stopTicking();
  $("status").textContent = page.texts.cancelling;
}

// Leaving mid-reading: the browser asks first; once the page goes, the unit is let go as far as the
// browser still runs anything.
export function leaving(event) {
  if (!page.reading || page.waitingGone) return;
  event.preventDefault();
  event.returnValue = "";
}

export function gone() {
  if (!page.reading) return;
  stopReading();
  page.line.abandon(endCommand());
}
