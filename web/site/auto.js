// Plug-and-read: while the switch is on, a unit that answers on the chosen port is read and recorded,
// then the page waits until it leaves (it stops answering, or its port goes) before the next one.
import { serialised, waitGone } from "./core.js";
import { refreshPorts } from "./ports.js";
import { cancel, runReading } from "./reading.js";
import { settings } from "./settings.js";
import { page } from "./state.js";
import { portTitle } from "./station.js";
import { $, enableButtons, fill } from "./view.js";

const AUTO_RETRY_MS = 1000;  // a port plug-and-read could not use is looked at again after this

let wake = null;      // ends the loop's pause: a port came or went, the switch moved
let running = false;  // one loop at a time, however often the switch moves

export function wakeAuto() {
  if (wake) wake();
}

// Until woken, or at most ms.
async function pause(ms) {
  await new Promise((resolve) => {
    wake = resolve;
    if (ms !== undefined) setTimeout(resolve, ms);
  });
  wake = null;
}

// Until the unit read on that port leaves; not at all if the switch or the port changed meanwhile.
function untilGone(label) {
  return serialised(() => {
    if (!page.auto || page.chosen !== label) return null;
    page.reading = page.waitingGone = true;
    enableButtons();
    return waitGone(label).finally(() => { page.reading = page.waitingGone = false; enableButtons(); });
  });
}

async function autoLoop() {
  if (running) return;
  running = true;
  try {
    while (page.auto) {
      if (page.chosen === null) {
        await pause();
        continue;
      }
      const answer = await serialised(() => (page.auto && page.chosen !== null ? runReading(true) : null));
      if (!answer || !page.auto) continue;
      if (answer.outcome === "port-error" || answer.outcome === "interrupted") {
        // Unplugged, held by another program, asleep: look again shortly, or when a port comes.
        await pause(AUTO_RETRY_MS);
        continue;
      }
      const label = page.chosen;
      if (label === null) continue;
      if (!answer.message) $("status").textContent = fill(page.texts.autoPresent, portTitle(label));
      await untilGone(label);
      await serialised(refreshPorts);
    }
  } finally {
    running = false;
  }
}

export function setAuto(on) {
  page.auto = on;
  $("auto").checked = on;
  settings.set("auto", on ? "1" : "0");
  if (!on && page.reading) cancel();
  enableButtons();
  wakeAuto();
  if (on && !page.noSerial) autoLoop();
}
