// The distribution's Chromium, headless, driven by playwright-core; no browser is downloaded.
'use strict';
const fs = require('node:fs');
const { chromium } = require('playwright-core');

const CANDIDATES = [process.env.QUILLON_CHROMIUM, '/usr/bin/chromium', '/usr/bin/chromium-browser'].filter(Boolean);

// The browser, or { problem } when none can start here.
async function launch() {
  const executablePath = CANDIDATES.find((p) => fs.existsSync(p));
  if (!executablePath) return { problem: 'no Chromium found (' + CANDIDATES.join(', ') + '); scripts/setup installs it' };
  try {
    const browser = await chromium.launch({
      executablePath, headless: true,
      args: ['--autoplay-policy=no-user-gesture-required', '--disable-gpu'],
    });
    return { browser };
  } catch (e) {
    return { problem: 'Chromium at ' + executablePath + ' cannot start: ' + String(e.message).split('\n')[0] };
  }
}

module.exports = { launch };
