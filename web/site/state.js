// What the page's modules share: every field that two of them read or change, declared here and nowhere
// else. Sealed: a field added anywhere else throws instead of joining unnoticed. What one module alone
// keeps stays in that module.
import { SerialLine } from "./serial-line.js";

export const page = Object.seal({
  line: new SerialLine(),  // the one owner of the Web Serial port, which the core reads through
  texts: {},               // the catalogue of the page's language
  language: 0,             // 0 French, 1 English
  noSerial: !("serial" in navigator),
  ports: [],               // { port, label }, the granted ports still plugged in
  chosen: null,            // the label of the port the next reading uses
  reading: false,          // a call that waits on the unit is in the core: a reading, or the wait for it to leave
  waitingGone: false,      // that call is plug-and-read's wait for the unit to leave: nothing is lost if the page goes
  auto: false,             // plug-and-read is on
  trace: [],               // the last reading's bytes, for the diagnostic
  lastRecord: null,        // the last reading's record (its JSON line), for the diagnostic
});
