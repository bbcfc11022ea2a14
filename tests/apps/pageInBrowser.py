#!/usr/bin/env python3
"""Opens a gallery page in headless Chromium and checks that every picture
on it loaded; optionally keeps a screenshot of the page.

usage: pageInBrowser.py PAGE.html EXPECTED_PICTURES [SCREENSHOT.png]
Exit 0 when Chromium saw EXPECTED_PICTURES images, none broken; 77 when
Chromium is not installed."""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

CHECKER = """<!DOCTYPE html>
<html><body>
<iframe id="page" src="%s" width="1200" height="3000"></iframe>
<pre id="result">not loaded</pre>
<script>
document.getElementById('page').onload = function () {
  var images = this.contentDocument.images, broken = [];
  for (var i = 0; i < images.length; i++) {
    if (!images[i].complete || images[i].naturalWidth === 0) {
      broken.push(images[i].getAttribute('src'));
    }
  }
  document.getElementById('result').textContent =
      'images ' + images.length + ' broken ' + broken.length + ' ' + broken.join(' ');
};
</script>
</body></html>
"""


def chromium(profile, *arguments):
    command = [BROWSER, '--headless', '--no-sandbox', '--disable-gpu',
               '--no-first-run', '--user-data-dir=' + profile,
               '--allow-file-access-from-files', *arguments]
    return subprocess.run(command, capture_output=True, text=True, timeout=120,
                          check=False)


def main():
    page = pathlib.Path(sys.argv[1]).resolve()
    expected = int(sys.argv[2])
    screenshot = sys.argv[3] if len(sys.argv) > 3 else None
    with tempfile.TemporaryDirectory() as profile:
        checker = page.parent / 'browser-check.html'
        checker.write_text(CHECKER % page.name, encoding='ascii')
        try:
            run = chromium(profile, '--virtual-time-budget=15000', '--dump-dom',
                           checker.as_uri())
        finally:
            checker.unlink()
        found = re.search(r'images (\d+) broken (\d+)([^<]*)', run.stdout)
        if not found:
            print('Chromium reported nothing:', run.stdout[-2000:], run.stderr[-2000:])
            return 1
        images, broken = int(found.group(1)), int(found.group(2))
        print('Chromium: %d images, %d broken%s' % (images, broken, found.group(3)))
        if screenshot:
            os.makedirs(os.path.dirname(os.path.abspath(screenshot)), exist_ok=True)
            chromium(profile, '--hide-scrollbars', '--window-size=1000,900',
                     '--virtual-time-budget=5000', '--screenshot=' + screenshot,
                     page.as_uri())
            print('screenshot:', screenshot, os.path.exists(screenshot))
        return 0 if images == expected and broken == 0 else 1


BROWSER = shutil.which('chromium') or shutil.which('chromium-browser')
if __name__ == '__main__':
    if BROWSER is None:
        print('chromium is not installed')
        sys.exit(77)
    sys.exit(main())
