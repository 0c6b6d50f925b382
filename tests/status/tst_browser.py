#!/usr/bin/python3
"""The status page in a real browser: headless Chromium, driven through
chromium-driver, looks at a real Sondral that captures from a private
PulseAudio server. The meters move with a tone, and once the tone stops on
a monitored source the page shows "SONDRAL GEACTIVEERD!" within 2 s of the
alarm, with its reason. Once the alarm's clip is written, the page lists it
and its player loads the whole FLAC from Sondral.

    tst_browser.py SONDRAL_EXECUTABLE PULSE_PRIVATE_SH [SCREENSHOT.png]

With a screenshot path, the page is also saved as a picture while the tone
plays (docs/status-page.png is made so).
"""
import datetime
import json
import os
import shlex
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

ALARM_TEXT = "SONDRAL GEACTIVEERD!"


def free_port(kind):
    s = socket.socket(socket.AF_INET, kind)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def wait_until(what, timeout, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = what()
        if value:
            return value
        time.sleep(step)
    return None


def fetch_json(url):
    try:
        with urllib.request.urlopen(url, timeout=2) as reply:
            return json.loads(reply.read())
    except OSError:
        return None


class Tone:
    """A 1 kHz sine into the private server's programme sink, until stopped."""

    def __init__(self, env):
        self.sox = subprocess.Popen(
            ["sox", "-q", "-n", "-r", "48000", "-c", "2", "-b", "16", "-e", "signed",
             "-t", "raw", "-", "synth", "3600", "sine", "1000", "vol", "0.5"],
            stdout=subprocess.PIPE, env=env)
        self.pacat = subprocess.Popen(
            ["pacat", "--raw", "--format=s16le", "--rate=48000", "--channels=2",
             "--device=programme", "--latency-msec=30"],
            stdin=self.sox.stdout, env=env)
        self.sox.stdout.close()

    def stop(self):
        for p in (self.pacat, self.sox):
            p.terminate()
            p.wait()


def main():
    exe, pulse_script = sys.argv[1], sys.argv[2]
    screenshot = sys.argv[3] if len(sys.argv) > 3 else None
    work = tempfile.mkdtemp(prefix="sondral-browser.")
    processes = []
    driver = None
    tone = None
    try:
        exports = subprocess.check_output([pulse_script, "start", work + "/pulse"], text=True)
        env = dict(os.environ)
        for word in shlex.split(exports):
            if "=" in word:
                key, value = word.split("=", 1)
                env[key] = value
        env["QT_QPA_PLATFORM"] = "offscreen"
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)

        status_port = free_port(socket.SOCK_STREAM)
        host_port = free_port(socket.SOCK_DGRAM)
        remote_port = free_port(socket.SOCK_DGRAM)
        folder = os.path.join(work, "sondral")
        os.mkdir(folder)
        shutil.copy(exe, os.path.join(folder, "sondral"))
        with open(os.path.join(folder, "sondral.ini"), "w") as ini:
            ini.write("[Audio]\nCard=0\nAutoVol=20\nAutoTime=2\n"
                      "[InterPC]\nRemoteName=127.0.0.1\nRemotePort=%d\nHostPort=%d\n"
                      "[Station]\nName=Radio Noord FM\n[Status]\nPort=%d\n"
                      % (remote_port, host_port, status_port))
        output = open(os.path.join(folder, "output.txt"), "w")
        processes.append(subprocess.Popen(["./sondral"], cwd=folder, env=env,
                                          stdout=output, stderr=subprocess.STDOUT))
        base = "http://127.0.0.1:%d" % status_port
        state = wait_until(lambda: fetch_json(base + "/status.json"), 10)
        assert state, "sondral's status page did not come up"
        assert wait_until(lambda: fetch_json(base + "/status.json")["capture"]["state"]
                          == "capturing", 10), "the capture never delivered"

        options = Options()
        options.binary_location = "/usr/bin/chromium"
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                    "--window-size=%s" % os.environ.get("SONDRAL_WINDOW", "412,915")):
            options.add_argument(arg)
        # Chromium leaves its singleton folder in TMPDIR: in the work folder,
        # it goes with it.
        browser_env = dict(os.environ, TMPDIR=work)
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver", env=browser_env),
                                  options=options)
        driver.set_script_timeout(10)
        driver.get(base + "/")

        def meter_left():
            width = driver.execute_script(
                "return document.querySelector('#mL .fill').style.width;")
            return float(width.rstrip("%")) if width else 0.0

        assert wait_until(lambda: driver.find_element(By.ID, "name").text == "Radio Noord FM", 5)
        quiet = meter_left()
        assert quiet < 5, "the meter reads %s with nothing playing" % quiet

        tone = Tone(env)
        loud = wait_until(lambda: meter_left() > 50 and meter_left(), 5)
        assert loud, "the meter did not move with the tone (%s)" % meter_left()
        print("meter: %.0f %% silent, %.0f %% with the tone" % (quiet, loud))

        # The automation on air: monitored while the tone plays.
        udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        udp.sendto(b"SN_AUTO", ("127.0.0.1", host_port))
        assert wait_until(lambda: driver.find_element(By.ID, "status").text == "AUTOMAAT", 3)
        if screenshot:
            time.sleep(1.5)
            driver.save_screenshot(screenshot)
            print("screenshot: " + screenshot)

        tone.stop()
        tone = None
        seen = wait_until(lambda: driver.find_element(By.ID, "status").text == ALARM_TEXT
                          and time.time(), 15, step=0.02)
        assert seen, "the page never showed the alarm"
        last = fetch_json(base + "/status.json")["alarm"]["last"]
        raised = datetime.datetime.fromisoformat(last.replace("Z", "+00:00")).timestamp()
        delay = seen - raised
        print("alarm raised at %s, on the page %.3f s later" % (last, delay))
        assert delay < 2.0, "the page showed the alarm %.3f s after it was raised" % delay
        assert "alarm" in driver.find_element(By.ID, "statusbox").get_attribute("class")
        assert driver.find_element(By.ID, "alarm").text.endswith("stilte"), \
            driver.find_element(By.ID, "alarm").text

        # The clip: 10 s before the alarm to 20 s after, written when complete.
        audio = wait_until(lambda: driver.find_elements(By.CSS_SELECTOR, "#clips audio"), 30,
                           step=0.5)
        assert audio, "the page never listed the alarm's clip"
        name = audio[0].get_attribute("title")
        assert name.endswith("_AUTO.flac"), name
        duration = driver.execute_async_script(
            "const a = arguments[0], done = arguments[1];"
            "a.addEventListener('loadedmetadata', () => done(a.duration));"
            "a.addEventListener('error', () => done('error ' + (a.error && a.error.code)));"
            "a.preload = 'metadata'; a.load();", audio[0])
        print("clip %s: %s s in the page's player" % (name, duration))
        # Only what was heard before the alarm is in it (Sondral ran a few
        # seconds before), then the 20 s after; the player has all of it.
        on_disk = float(subprocess.check_output(
            ["soxi", "-D", os.path.join(folder, "clips", name)], text=True))
        assert isinstance(duration, (int, float)) and 20 < duration <= 30.01, duration
        assert abs(duration - on_disk) < 0.05, "the file holds %.3f s" % on_disk
        print("passed")
    finally:
        if tone:
            tone.stop()
        if driver:
            driver.quit()
        for p in processes:
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
        subprocess.call([pulse_script, "stop", work + "/pulse"])
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
