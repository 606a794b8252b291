// WebKit, the engine of Safari, for the page test: WebKitGTK's MiniBrowser
// driven through WebKitWebDriver (W3C WebDriver classic; it offers no
// BiDi), behind the part of puppeteer's Browser, Page and ElementHandle API
// that the page test (page-test/) uses. A puppeteer call the test starts to
// use gets a method here, written the same way. Run it under an X server
// (xvfb-run).
//
// Classic WebDriver has no events, so:
// - requests: MiniBrowser sends every network request through a proxy here
//   that records it and answers nothing. data:, blob: and file: URLs never
//   reach it.
// - evaluateOnNewDocument's functions, and the listeners behind 'pageerror'
//   and 'console' (the page's own console calls), run once each page has
//   loaded, not before the page's scripts. What they collect reaches the
//   listeners of this object at the next evaluate, $eval or $$eval.
// - downloads: the page announces each, with its final size: a click on a
//   link that downloads a blob is seen in the page, and the blob's size was
//   noted when its URL was made. MiniBrowser saves it under the name the
//   page suggests; once the file there has the announced size it is moved
//   into downloadDir and reported as the browser's 'download' event,
//   {id, name, path}.
// - a page: the session's window, loaded afresh; one at a time.
// `browser.limits` says which checks these take away, and why.
import { EventEmitter } from 'node:events';
import { existsSync, mkdirSync, readdirSync, readFileSync, renameSync, statSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:net';
import { join } from 'node:path';
import { Builder, By } from 'selenium-webdriver';
import { findFreePort } from 'selenium-webdriver/net/portprober.js';
import { DriverService } from 'selenium-webdriver/remote/index.js';

const EVENTS = '__testEvents';

// `hangLimit(ms)`: how long a step may take, given how long a like one took.
// Launching has nothing measured before it, so it has no limit.
export async function launchWebKit({ userDataDir, downloadDir, hangLimit }) {
  // Without one, MiniBrowser exits and WebKitWebDriver waits for it forever.
  if (!process.env.DISPLAY) throw new Error('no X display (run it under xvfb-run)');
  const binary = readdirSync('/usr/lib').map((dir) => join('/usr/lib', dir, 'webkit2gtk-4.1', 'MiniBrowser')).find(existsSync);
  if (!binary) throw new Error('no /usr/lib/*/webkit2gtk-4.1/MiniBrowser (Debian\'s libwebkit2gtk-4.1-0)');
  // MiniBrowser keeps its caches and saves downloads under the profile.
  const config = join(userDataDir, 'config');
  const saving = join(userDataDir, 'downloads');
  mkdirSync(config, { recursive: true });
  mkdirSync(saving);
  writeFileSync(join(config, 'user-dirs.dirs'), `XDG_DOWNLOAD_DIR="${saving}"\n`);
  const env = { ...process.env, HOME: userDataDir, XDG_CONFIG_HOME: config,
                XDG_CACHE_HOME: join(userDataDir, 'cache'), XDG_DATA_HOME: join(userDataDir, 'data') };

  const browser = new WebKitBrowser();
  // The first line of each connection: a request line, or a TLS hello.
  const proxy = createServer((socket) => {
    socket.on('error', () => {});
    socket.once('data', (data) => {
      const [method, target] = data.toString('latin1').split('\r\n')[0].split(' ');
      browser.requestSeen(data[0] === 0x16 ? 'https: (a TLS connection)' : method === 'CONNECT' ? `https://${target}` : target);
      socket.destroy();
    });
  });
  await new Promise((resolve) => proxy.listen(0, '127.0.0.1', resolve));
  const port = await findFreePort('127.0.0.1');
  const service = new DriverService('WebKitWebDriver', { loopback: true, port, args: [`--port=${port}`], env,
                                                        stdio: ['ignore', 'inherit', 'inherit'] });
  browser.stops.push(() => service.kill(), () => proxy.close(), () => exited(env.HOME));
  try {
    const proxyAddress = `127.0.0.1:${proxy.address().port}`;
    const started = Date.now();
    const session = new Builder().usingServer(await service.start(Infinity)).withCapabilities({
      browserName: 'MiniBrowser',
      proxy: { proxyType: 'manual', httpProxy: proxyAddress, sslProxy: proxyAddress },
      'webkitgtk:browserOptions': { binary, args: ['--automation'] },
    }).build();
    browser.stops.unshift(() => browser.driver?.quit());
    browser.driver = await session;
    // The proxy must be seen to work, or it proves nothing; it is given as
    // long as the launch, many times over.
    const limit = hangLimit(Date.now() - started);
    await browser.driver.get('data:text/html,<img src="http://proxy-check.invalid/">');
    await browser.driver.wait(() => browser.requests.includes('http://proxy-check.invalid/'), limit,
                              `MiniBrowser does not use the recording proxy (waited ${Math.round(limit / 1000)} s)`);
  } catch (error) {
    await browser.close();
    throw new Error(error.message.split('\n')[0]);
  }
  browser.requests.length = 0;

  // A download is complete when the file of its name has the size the page
  // announced.
  let count = 0;
  const watch = setInterval(() => {
    for (const announced of browser.announced) {
      const { name, size } = announced;
      const saved = join(saving, name);
      if (!existsSync(saved) || statSync(saved).size !== size) continue;
      browser.announced.delete(announced);
      const path = join(downloadDir, `${++count}-${name}`);
      renameSync(saved, path);
      browser.emit('download', { id: count, name, path });
    }
  }, 50);
  browser.stops.push(() => clearInterval(watch));
  return browser;
}

// MiniBrowser's processes outlive the session for a moment, writing caches
// into the profile; they are known by the HOME they were given.
async function exited(home) {
  const mine = (pid) => {
    try {
      return readFileSync(`/proc/${pid}/environ`, 'latin1').split('\0').includes(`HOME=${home}`);
    } catch {
      return false;  // gone, or not ours
    }
  };
  for (let i = 0; i < 100 && readdirSync('/proc').some(mine); i++) await new Promise((r) => setTimeout(r, 50));
}

class WebKitBrowser extends EventEmitter {
  limits = {
    everyRequest: 'WebDriver classic reports no requests; a proxy records those that go to the network '
      + '(a request made at launch shows that it does), but a data: URL never goes there',
    fromDocumentStart: 'WebDriver classic runs scripts only once a page has loaded; errors and violations '
      + 'are listened for from then on (before the runs), the browser\'s own console messages not at all',
  };
  stops = [];
  requests = [];
  announced = new Set();  // {name, size} of downloads the page began
  #page = null;

  requestSeen(url) {
    this.requests.push(url);
    this.#page?.emit('request', { url: () => url });
  }

  // The session's window, once the page before was closed.
  async newPage() {
    if (this.#page) throw new Error('webkit: one page at a time');
    this.#page = new WebKitPage(this.driver, {
      download: (d) => this.announced.add(d),
      closed: () => { this.#page = null; },
    });
    return this.#page;
  }

  async close() {
    for (const stop of this.stops.splice(0)) {
      try { await stop(); } catch { /* already gone */ }
    }
  }
}

class WebKitPage extends EventEmitter {
  #driver;
  #browser;
  #onLoad = [[listen, [EVENTS]]];

  constructor(driver, browser) {
    super();
    this.#driver = driver;
    this.#browser = browser;
  }

  // Runs fn (a function or its source) in the page and passes on what the
  // page collected for 'pageerror' and 'console'.
  async #run(fn, args) {
    const [value, events] = await this.#driver.executeScript(
      `return Promise.resolve((${fn}).apply(null, arguments)).then((value) => [value, (window.${EVENTS} || []).splice(0)]);`,
      ...args);
    for (const { type, name, text, size } of events) {
      if (type === 'pageerror') this.emit('pageerror', Object.assign(new Error(text), { name }));
      else if (type === 'download') this.#browser.download({ name, size });
      else this.emit('console', { type: () => type, text: () => text });
    }
    return value;
  }

  async goto(url) {
    await this.#driver.get(url);
    for (const [fn, args] of this.#onLoad) await this.#run(fn, args);
  }

  // The window stays, blank, for the next page.
  async close() {
    await this.#driver.get('about:blank');
    this.removeAllListeners();
    this.#browser.closed();
  }

  async evaluateOnNewDocument(fn, ...args) { this.#onLoad.push([fn, args]); }
  // A string is a script, as puppeteer's; its value is not returned.
  evaluate(fn, ...args) { return this.#run(typeof fn === 'string' ? `() => {\n${fn}\n}` : fn, args); }

  $eval(selector, fn, ...args) {
    return this.#run(`(selector, ...args) => {
      const element = document.querySelector(selector);
      if (!element) throw new Error('no element matches ' + selector);
      return (${fn})(element, ...args);
    }`, [selector, ...args]);
  }

  $$eval(selector, fn, ...args) {
    return this.#run(`(selector, ...args) => (${fn})([...document.querySelectorAll(selector)], ...args)`, [selector, ...args]);
  }

  async $(selector) {
    const [element] = await this.#driver.findElements(By.css(selector));
    return element ? new WebKitElement(element) : null;
  }

  async $$(selector) {
    return (await this.#driver.findElements(By.css(selector))).map((element) => new WebKitElement(element));
  }

  async click(selector) { await this.#driver.findElement(By.css(selector)).click(); }

  // The window is sized so that its content area has the size asked for.
  async setViewport({ width, height }) {
    const [innerWidth, innerHeight] = await this.#run(() => [window.innerWidth, window.innerHeight], []);
    const frame = this.#driver.manage().window();
    const outer = await frame.getRect();
    await frame.setRect({ width: outer.width + width - innerWidth, height: outer.height + height - innerHeight });
  }

  // A full page: the window grows to the page's height for the picture, once
  // the page has been laid out and painted at that size.
  async screenshot({ path, fullPage = false } = {}) {
    const frame = this.#driver.manage().window();
    const outer = await frame.getRect();
    if (fullPage) {
      const [pageHeight, innerHeight] = await this.#run(() => [document.documentElement.scrollHeight, window.innerHeight], []);
      const grown = await frame.setRect({ width: outer.width, height: outer.height + Math.max(0, pageHeight - innerHeight) });
      // The content takes the window's new size at its next resize event,
      // unless it took it already; a window that could not grow has none.
      await this.#run((before, grew) => new Promise((resolve) => {
        const painted = () => requestAnimationFrame(() => requestAnimationFrame(resolve));
        if (!grew || window.innerHeight !== before) return painted();
        window.addEventListener('resize', painted, { once: true });
      }), [innerHeight, grown.height !== outer.height]);
    }
    const png = Buffer.from(await this.#driver.takeScreenshot(), 'base64');
    if (fullPage) await frame.setRect({ width: outer.width, height: outer.height });
    if (path) writeFileSync(path, png);
    return png;
  }
}

class WebKitElement {
  #element;
  constructor(element) { this.#element = element; }
  click() { return this.#element.click(); }
  // WebKitWebDriver would give a folder as one empty file of its name.
  async uploadFile(...paths) {
    if (paths.some((path) => statSync(path).isDirectory())) {
      throw new Error('WebKitWebDriver gives a folder to an input as one empty file, not the files in it');
    }
    await this.#element.sendKeys(paths.join('\n'));
  }
}

// In the page: collects errors, the page's console calls and the downloads
// it begins, each with its final size.
function listen(name) {
  const events = window[name] = [];
  const sizes = new Map();
  const makeUrl = URL.createObjectURL;
  URL.createObjectURL = (object) => {
    const url = makeUrl.call(URL, object);
    if (object instanceof Blob) sizes.set(url, object.size);
    return url;
  };
  window.addEventListener('click', (e) => {
    const link = e.target.closest?.('a[download]');
    if (link && sizes.has(link.href)) events.push({ type: 'download', name: link.download, size: sizes.get(link.href) });
  }, true);
  const report = (error, text) => events.push({ type: 'pageerror', name: error?.name ?? 'Error', text: error?.message ?? text });
  window.addEventListener('error', (e) => report(e.error, e.message));
  window.addEventListener('unhandledrejection', (e) => report(e.reason, String(e.reason)));
  for (const type of ['log', 'debug', 'info', 'warn', 'error']) {
    const original = console[type];
    console[type] = (...args) => {
      events.push({ type, text: args.map(String).join(' ') });
      original.apply(console, args);
    };
  }
}
