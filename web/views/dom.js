// The few DOM helpers the views share.
export const $ = (id) => document.getElementById(id);

export function el(tag, attributes, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes || {})) {
    if (value !== false && value !== undefined) node.setAttribute(key, value === true ? '' : value);
  }
  for (const child of children) if (child !== null) node.append(child);
  return node;
}

// Lets the browser draw and take events before the page goes on.
export const nextTask = () => new Promise((resolve) => setTimeout(resolve, 0));

// The text of a view model's {key, args} (page/view-model.js) in t's
// language: arguments that are texts are said too, a list of them joined;
// {number} in the language's style. A string is said as it is (a name).
export function say(t, text) {
  if (typeof text === 'string') return text;
  const arg = (a) => {
    if (a && typeof a === 'object' && 'key' in a) return say(t, a);
    if (a && typeof a === 'object' && 'number' in a) return t.number(a.number);
    if (Array.isArray(a) && a.length && a.every((x) => x && typeof x === 'object' && 'key' in x)) return a.map((x) => say(t, x)).join(', ');
    return a;
  };
  return t(text.key, ...text.args.map(arg));
}
