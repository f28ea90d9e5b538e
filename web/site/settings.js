// The settings: localStorage, which throws when the browser keeps nothing for the page.
export const settings = {
  get(key, fallback = null) {
    try {
      const value = localStorage.getItem("bravelle." + key);
      return value === null ? fallback : value;
    } catch (e) {
      return fallback;
    }
  },
  set(key, value) {
    try {
      localStorage.setItem("bravelle." + key, value);
    } catch (e) { /* kept for this visit only */ }
  },
};
