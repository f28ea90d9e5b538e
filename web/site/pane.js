// The pane: each reading's lines as the core makes them, below the earlier readings', and the waiting
// line ticked in the status while the core waits for the handshake.
import { waitingText } from "./core.js";
import { $ } from "./view.js";

let live = null;     // the reading's own lines, replaced as each step is done and completed at its end
let ticking = null;  // the waiting line's timer

export function openPane() {
  live = document.createElement("div");
  $("pane").append(live);
}

export function showPane(texts) {
  if (!live) return;
  if (texts.length) stopTicking();
  live.textContent = "";
  for (const text of texts) {
    const line = document.createElement("div");
    line.className = "line";
    line.textContent = text;
    live.append(line);
  }
  $("pane").scrollTop = $("pane").scrollHeight;
}

// The reading's last lines stay in the pane, among the others.
export function closePane(texts) {
  showPane(texts);
  live.replaceWith(...live.childNodes);
  live = null;
}

export function showWaiting(ms, attempts) {
  const from = performance.now() - ms;
  const show = () => {
    $("status").textContent = waitingText(performance.now() - from, attempts);
  };
  stopTicking();
  show();
  ticking = setInterval(show, 1000);
}

export function stopTicking() {
  clearInterval(ticking);
  ticking = null;
}
