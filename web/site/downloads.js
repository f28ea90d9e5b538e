// What the page hands over as files: the readings as bravelle-cli writes them, and the diagnostic.
import { csvHeader } from "./core.js";
import { historyStore } from "./history.js";
import { hex4 } from "./ports.js";
import { page } from "./state.js";
import { portTitle } from "./station.js";

const csvHeaders = {};  // separator + schema -> the header bravelle-cli writes

// Asked once, before any reading: an export may be chosen while one is suspended in the core.
export function loadCsvHeaders() {
  for (const separator of [",", ";"]) {
    for (const schema of [0, 1, 2]) csvHeaders[separator + schema] = csvHeader(separator, schema);
  }
}

function download(name, type, parts) {
  const a = document.createElement("a");
  a.href = URL.createObjectURL(new Blob(parts, { type }));
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

// The same files as bravelle-cli's --csv and --log: its header, rows and line ends; the CSV file with
// the byte order mark and the separator a spreadsheet in the page's language expects. What the store
// holds when it is asked for, every tab's readings, once the store is read; and the readings of this tab
// it refused.
export async function exportCsv() {
  const separator = page.language === 0 ? ";" : ",";
  const header = (schema) => csvHeaders[separator + schema];
  const columns = header(0);
  await historyStore.levelled();
  const rows = historyStore.all.map((r) => (r.csvSemicolon === undefined ? oldRow(r.csv, header(1), columns, separator)
                                            : r.csv.startsWith("2,") ? oldRow(r.csv, header(2), columns, separator)
                                            : separator === ";" ? r.csvSemicolon : r.csv) + "\r\n");
  download("bravelle-readings.csv", "text/csv;charset=utf-8", [Uint8Array.of(0xef, 0xbb, 0xbf), columns + "\r\n", ...rows]);
}

// A row of an older schema (the page's first version kept schema 1, later ones 2), with ",", in the
// columns of the header, by name.
function oldRow(row, oldHeader, newHeader, separator) {
  const fields = (line) => [...(line + ",").matchAll(/("(?:[^"]|"")*"|[^,]*),/g)].map((m) => m[1].replace(/^"|"$/g, "").replace(/""/g, '"'));
  const names = oldHeader.split(separator);
  const values = new Map(fields(row).map((value, i) => [names[i], value]));
  return newHeader.split(separator).map((name) => {
    const value = values.get(name) ?? "";
    return /[;,"\r\n]/.test(value) ? `"${value.replace(/"/g, '""')}"` : value;
  }).join(separator);
}

export async function exportJsonl() {
  await historyStore.levelled();
  download("bravelle-readings.jsonl", "application/jsonl", historyStore.all.map((r) => r.json + "\n"));
}

// For support: the last reading's bytes as bravelle-cli --trace writes them, the browser, the port's
// USB ids and the page's version.
export function exportDiagnostic() {
  const port = page.ports.find((p) => p.label === page.chosen) || page.ports[0];
  const info = port ? port.port.getInfo() : {};
  const lines = [
    `Bravelle Web ${self.BRAVELLE_VERSION || "?"}`,
    `browser: ${navigator.userAgent}`,
    `language: ${navigator.language}`,
    `port: ${port ? portTitle(port.label) : "-"}` +
      (info.usbVendorId !== undefined ? ` (USB vendor 0x${hex4(info.usbVendorId)}, product 0x${hex4(info.usbProductId)})` : ""),
    `record: ${page.lastRecord || "-"}`,
    "trace:",
    ...page.trace,
  ];
  download("bravelle-diagnostic.txt", "text/plain;charset=utf-8", [lines.join("\n") + "\n"]);
}
