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
