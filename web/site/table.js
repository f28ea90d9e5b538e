// The readings' table: newest first, a page at a time, or the readings the search finds by serial number,
// port name or outcome; what it shows while they load; and the clearing of them all.
import { historyStore } from "./history.js";
import { page } from "./state.js";
import { $, fill, tellStorageFailure } from "./view.js";

const PAGE_ROWS = 50;  // the table shows this many at a time

const view = { offset: 0, query: "" };  // offset: the newest rows skipped

// While the store is read, its newest readings only.
function matching(query) {
  const readings = historyStore.loaded ? historyStore.all : historyStore.newest;
  if (!query) return readings;
  const words = query.toLowerCase();
  return readings.filter(({ record }) => (record.serial_text || "").includes(words) ||
                         (record.fixture || "").toLowerCase().includes(words) || record.outcome === words ||
                         (page.texts["outcome-" + record.outcome] || "").toLowerCase().startsWith(words));
}

function rowOf(record) {
  const tr = document.createElement("tr");
  const cells = [new Date(record.time).toLocaleString(page.language === 0 ? "fr-FR" : "en-GB"),
                 record.fixture ? `${record.fixture} (${record.port})` : record.port,
                 record.serial_text, record.circuit, record.software, page.texts["outcome-" + record.outcome],
                 record.repeat ? page.texts.columnRepeat : ""];
  cells.forEach((value, i) => {
    const td = document.createElement("td");
    td.textContent = value === undefined ? "" : String(value);
    if (i === 5 && record.outcome !== "ok") td.className = "failed";
    tr.append(td);
  });
  return tr;
}

export function showReadings() {
  const rows = $("rows");
  rows.textContent = "";
  const query = view.query.trim();
  const shown = matching(query);
  const total = shown.length;
  const offset = Math.min(view.offset, Math.max(0, total - 1));
  for (let i = total - 1 - offset; i >= 0 && i > total - 1 - offset - PAGE_ROWS; --i) rows.append(rowOf(shown[i].record));
  const loading = !historyStore.loaded;
  $("rows").closest("table").setAttribute("aria-busy", String(loading));
  $("no-readings").hidden = total > 0 && !loading;
  $("no-readings").textContent = loading ? page.texts.loading : query ? page.texts.noMatch : page.texts.noReadings;
  showPager(offset, loading ? 0 : total);
  // An export asked for while the store is read is made once it is.
  const none = !loading && historyStore.all.length === 0;
  $("export-csv").disabled = $("export-jsonl").disabled = none;
  $("clear").disabled = none || loading;
}

function showPager(offset, total) {
  $("pager").hidden = total <= PAGE_ROWS;
  $("page-of").textContent = fill(page.texts.pageOf, offset + 1, Math.min(total, offset + PAGE_ROWS), total);
  $("first").disabled = $("newer").disabled = offset === 0;
  $("last").disabled = $("older").disabled = offset + PAGE_ROWS >= total;
}

// A new reading: the first page, where it is.
export function showNewest() {
  view.offset = 0;
  showReadings();
}

// step: -1 newer, 1 older; -Infinity the first page, Infinity the last.
export function turnPage(step) {
  const lastPage = Math.floor(Math.max(0, matching(view.query.trim()).length - 1) / PAGE_ROWS) * PAGE_ROWS;
  view.offset = Math.min(lastPage, Math.max(0, view.offset + step * PAGE_ROWS));
  showReadings();
}

export function search(query) {
  view.offset = 0;
  view.query = query;
  showReadings();
}

export async function clearReadings() {
  if (!confirm(page.texts.clearConfirm)) return;
  try {
    await historyStore.clear();
  } catch (e) {
    tellStorageFailure(e);
  }
  showReadings();
}
