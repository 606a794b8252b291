// The page's texts in both languages, and the numbers in their style.
import ja from './texts-ja.js';
import en from './texts-en.js';

const LANGUAGES = { ja, en };

// t(key, ...args): the text of `key` in `language`, a function's with args.
export function translator(language) {
  const texts = LANGUAGES[language];
  const t = (key, ...args) => {
    const text = texts[key];
    return typeof text === 'function' ? text(...args) : text;
  };
  t.language = language;
  t.number = (n) => n.toLocaleString(language === 'ja' ? 'ja-JP' : 'en-US');
  return t;
}
