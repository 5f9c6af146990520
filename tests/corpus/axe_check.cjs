// A page as people with assistive technology and a window of 1280 pixels
// meet it: axe-core's rules run on it in headless Chromium (driven by
// puppeteer-core), every element that scrolls sideways is named, and each
// audio player is given its recording's duration once it has loaded it
// (or the code of its error).
// node axe_check.cjs CHROMIUM PAGE (with NODE_PATH naming the folder of
// axe-core and puppeteer-core); prints one JSON object.
const puppeteer = require('puppeteer-core');
const fs = require('fs');
const axeSource = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');
(async () => {
  const browser = await puppeteer.launch({executablePath: process.argv[2], headless: true,
                                          args: ['--no-sandbox', '--disable-gpu']});
  try {
    const page = await browser.newPage();
    await page.setViewport({width: 1280, height: 900});
    await page.goto('file://' + process.argv[3], {waitUntil: 'load', timeout: 120000});
    await page.addScriptTag({content: axeSource});
    const found = await page.evaluate(async () => {
      const r = await axe.run(document);
      const sideways = [...document.querySelectorAll('*')]
        .filter(e => e.scrollWidth > e.clientWidth + 1 && getComputedStyle(e).overflowX !== 'visible')
        .map(e => e.tagName.toLowerCase() + (e.className ? '.' + e.className : ''));
      return {violations: r.violations.map(v => v.id + ' (' + v.nodes.length + ')'), sideways,
              page_wider: document.documentElement.scrollWidth > window.innerWidth};
    });
    found.audio = await page.evaluate(() => Promise.all([...document.querySelectorAll('audio')].map(a =>
      new Promise(resolve => {
        const done = () => resolve({src: a.getAttribute('src'), duration: a.duration,
                                    error: a.error ? a.error.code : null});
        if (a.readyState >= 1 || a.error)
          done();
        else {
          a.addEventListener('loadedmetadata', done);
          a.addEventListener('error', done);
        }
      }))));
    console.log(JSON.stringify(found));
  } finally {
    await browser.close();
  }
})();
