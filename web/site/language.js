// The page's language: both catalogues taken from the core once, the first choice, and the page's fixed
// texts in the chosen one.
import { catalogueOf } from "./core.js";
import { settings } from "./settings.js";
import { page } from "./state.js";
import { $ } from "./view.js";

let catalogue = [];  // by language

export function loadCatalogue() {
  catalogue = [0, 1].map(catalogueOf);
}

export function firstLanguage() {
  const stored = settings.get("language");
  if (stored === "0" || stored === "1") return Number(stored);
  return (navigator.language || "").toLowerCase().startsWith("fr") ? 0 : 1;
}

// The texts the page holds in its markup; what it writes itself is written again by its owner.
export function applyLanguage(language) {
  page.language = language;
  settings.set("language", String(language));
  page.texts = catalogue[language];
  document.documentElement.lang = language === 0 ? "fr" : "en";
  document.title = "Bravelle";
  $("title").textContent = page.texts.title;
  for (const el of document.querySelectorAll("[data-text]")) el.textContent = page.texts[el.dataset.text];
  for (const el of document.querySelectorAll("[data-hint]")) el.placeholder = page.texts[el.dataset.hint];
  for (const b of document.querySelectorAll("[data-language]")) {
    b.textContent = page.texts.languageNames[b.dataset.language];
    b.setAttribute("aria-pressed", String(Number(b.dataset.language) === language));
  }
}
