// The page: the core started, its modules wired to the controls, the ports and the readings loaded.
import { setAuto, wakeAuto } from "./auto.js";
import { serialised, startCore } from "./core.js";
import { exportCsv, exportDiagnostic, exportJsonl, loadCsvHeaders } from "./downloads.js";
import { historyStore } from "./history.js";
import { applyLanguage, firstLanguage, loadCatalogue } from "./language.js";
import { showPane, showWaiting } from "./pane.js";
import { choosePort, refreshPorts, showPortState, whenPortsLooked } from "./ports.js";
import { cancel, gone, leaving, read, traceByte } from "./reading.js";
import { settings } from "./settings.js";
import { page } from "./state.js";
import { keepStation, showStation } from "./station.js";
import { clearReadings, search, showReadings, turnPage } from "./table.js";
import { $, fill, notice } from "./view.js";

// The readings as the page holds them, within reach of the browser's console (the browser tests read them there).
self.historyStore = historyStore;

function setLanguage(language) {
  applyLanguage(language);
  showPortState();
  showReadings();
}

function listen() {
  for (const b of document.querySelectorAll("[data-language]")) {
    b.addEventListener("click", () => setLanguage(Number(b.dataset.language)));
  }
  $("choose").addEventListener("click", () => choosePort(true));
  $("other").addEventListener("click", () => choosePort(false));
  $("read").addEventListener("click", read);
  $("cancel").addEventListener("click", cancel);
  $("auto").addEventListener("change", () => setAuto($("auto").checked));
  $("export-csv").addEventListener("click", exportCsv);
  $("export-jsonl").addEventListener("click", exportJsonl);
  $("diagnostic").addEventListener("click", exportDiagnostic);
  $("clear").addEventListener("click", clearReadings);
  $("first").addEventListener("click", () => turnPage(-Infinity));
  $("newer").addEventListener("click", () => turnPage(-1));
  $("older").addEventListener("click", () => turnPage(1));
  $("last").addEventListener("click", () => turnPage(Infinity));
  $("search").addEventListener("input", () => search($("search").value));
  for (const id of ["port-name", "expect-software", "expect-circuit"]) {
    $(id).addEventListener("change", () => {
      keepStation();
      showPortState();
    });
  }
  addEventListener("beforeunload", leaving);
  addEventListener("pagehide", gone);
}

// A new version of the site runs from the load after its service worker took over: said once.
function tellUpdate() {
  const version = self.BRAVELLE_VERSION;
  const seen = settings.get("version");
  if (version && seen && seen !== version) notice(fill(page.texts.updated, version));
  if (version) settings.set("version", version);
}

// The newest readings are shown first, the table saying the rest are coming.
async function loadReadings() {
  historyStore.onChange = showReadings;
  const kept = await historyStore.open(() => {
    showReadings();
    performance.mark("bravelle-rows");
  });
  if (!kept) notice(page.texts.storageMemory);
  else tellUpdate();
  showReadings();
}

// Asked by the core once a serial number is read: the last one read at that place, the copy of the
// readings first made level with the store, so that the repeat flag never rests on readings cleared in
// another tab, nor waits for the store to be read before the reading starts.
async function lastSerialAt(port, fixture) {
  await historyStore.levelled();
  return historyStore.lastSerial(port, fixture);
}

// Ports granted before are used without asking; plugging and unplugging update the choice.
function watchPorts() {
  whenPortsLooked(wakeAuto);
  if (page.noSerial) return null;
  const changed = () => serialised(refreshPorts);
  navigator.serial.addEventListener("connect", changed);
  navigator.serial.addEventListener("disconnect", changed);
  return serialised(refreshPorts);
}

async function start() {
  await startCore({ serialLine: page.line, onWaiting: showWaiting, onTrace: traceByte, onPane: showPane,
                    onLast: lastSerialAt, onSeen: (serial) => historyStore.whereSeen(serial) });
  loadCatalogue();
  loadCsvHeaders();
  setLanguage(firstLanguage());
  showStation();
  listen();
  const ports = watchPorts();
  // The readings come in beside the ports and a first reading: only its repeat flag waits for them.
  const loaded = loadReadings();
  await ports;
  performance.mark("bravelle-ready");
  await loaded;
  performance.mark("bravelle-readings");
  document.body.dataset.ready = "1";
  if ("serviceWorker" in navigator) {
    navigator.serviceWorker.register("sw.js").catch((e) => console.warn("no offline copy:", e.message));
  }
  if (settings.get("auto") === "1") setAuto(true);
}

start();
