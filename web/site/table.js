// The readings' table: newest first, a page at a time, or the readings whose serial number holds the
// search; and the clearing of them all.
import { historyStore } from "./history.js";
import { page } from "./state.js";
import { $, fill, tellStorageFailure } from "./view.js";

const PAGE_ROWS = 50;  // the table shows this many at a time

const view = { offset: 0, query: "" };  // offset: the newest rows skipped

function matching(query) {
  return query ? historyStore.all.filter((r) => (r.record.serial_text || "").includes(query)) : historyStore.all;
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
  $("no-readings").hidden = total > 0;
  $("no-readings").textContent = query ? page.texts.noMatch : page.texts.noReadings;
  showPager(offset, total);
  const none = historyStore.all.length === 0;
  $("export-csv").disabled = $("export-jsonl").disabled = $("clear").disabled = none;
}

function showPager(offset, total) {
  $("pager").hidden = total <= PAGE_ROWS;
  $("page-of").textContent = fill(page.texts.pageOf, offset + 1, Math.min(total, offset + PAGE_ROWS), total);
  $("newer").disabled = offset === 0;
  $("older").disabled = offset + PAGE_ROWS >= total;
}

// A new reading: the first page, where it is.
export function showNewest() {
  view.offset = 0;
  showReadings();
}

export function turnPage(step) {
  view.offset = Math.max(0, view.offset + step * PAGE_ROWS);
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
