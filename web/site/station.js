// The reading station, kept across visits: the names the technician gave the ports ("Banc 1"), by label,
// and the identity the units read there are expected to have.
import { settings } from "./settings.js";
import { page } from "./state.js";
import { $ } from "./view.js";

const EXPECTATIONS = [["expect-software", "expectSoftware"], ["expect-circuit", "expectCircuit"]];

export function portNames() {
  try {
    return JSON.parse(settings.get("portNames", "{}")) || {};
  } catch (e) {
    return {};
  }
}

export function portTitle(label) {
  const name = portNames()[label];
  return name ? `${name} (${label})` : label;
}

// The fixture a record names: the port's name, or none.
export function fixtureOf(label) {
  return portNames()[label] || "";
}

export function expectations() {
  return { software: settings.get("expectSoftware", ""), circuit: settings.get("expectCircuit", "") };
}

export function showStation() {
  for (const [id, key] of EXPECTATIONS) $(id).value = settings.get(key, "");
}

// The fields as the technician left them; the chosen port's name with them.
export function keepStation() {
  const names = portNames();
  const name = $("port-name").value.trim();
  if (page.chosen !== null) {
    if (name) names[page.chosen] = name;
    else delete names[page.chosen];
    settings.set("portNames", JSON.stringify(names));
  }
  for (const [id, key] of EXPECTATIONS) settings.set(key, $(id).value.trim());
}
