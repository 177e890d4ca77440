"""The plots of docs/ from the CSV files (matplotlib, no display)."""

import math
import pathlib

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

MODE_COLOUR = {14: "#c0392b", 15: "#27ae60", 16: "#2c6fbb"}
MAPPING_MARKER = {2: "o", 4: "s", 8: "^"}
MAPPING_DASH = {2: "-", 4: "--", 8: ":"}
VARIANT_COLOUR = {(8000, 2): "#e67e22", (8000, 4): "#c0392b", (8000, 8): "#8e44ad", (48000, 2): "#16a085",
		  (48000, 4): "#2c6fbb", (48000, 8): "#34495e"}
NEVER = 32  # where "never" is drawn on an SNR axis that ends at 30 dB


def number(text: str) -> float | None:
	try:
		return float(text)
	except (TypeError, ValueError):
		return None


def peers(rows: list[dict], bursts: int, path: pathlib.Path) -> None:
	"""SNR for 90 % in white noise against payload bit rate."""
	series = (("FreeDV raw data (DATAC*)", "#c0392b", "o", lambda r: r["system"] == "FreeDV"),
		  ("liquid-dsp ofdmflexframe, Golay(24,12)", "#8e44ad", "s", lambda r: r["system"] == "liquid-dsp"),
		  ("ofdm_burst, 8000 Hz", "#2c6fbb", "D", lambda r: r["system"] == "ofdm_burst" and r["rate_hz"] == "8000"
		   and r.get("demod", "reference") in ("", "reference")),
		  ("ofdm_burst, 8000 Hz, enhanced demodulator", "#e67e22", "d",
		   lambda r: r["system"] == "ofdm_burst" and r["rate_hz"] == "8000" and r.get("demod") == "enhanced"),
		  ("ofdm_burst, 48000 Hz behind 300-3000 Hz", "#16a085", "x",
		   lambda r: r["system"] == "ofdm_burst" and r["rate_hz"] == "48000"))
	fig, ax = plt.subplots(figsize=(12, 7.6))
	for title, colour, marker, chosen in series:
		points = [(float(r["payload_bps"]), number(r.get("snr90_db")), r["mode"]) for r in rows if chosen(r)]
		points = [p for p in points if p[1] is not None]
		if not points:
			continue
		ax.scatter([p[0] for p in points], [p[1] for p in points], c=colour, marker=marker, s=60, label=title)
		for x, y, label in points if "48000" not in title else ():
			ax.annotate(label, (x, y), textcoords="offset points", xytext=(0, -14), ha="center", fontsize=9)
	ax.set_xscale("log")
	ax.set_xlim(120, 2000)
	ax.set_xticks([150, 200, 300, 500, 700, 1000, 1500, 2000], labels=["150", "200", "300", "500", "700", "1000", "1500", "2000"])
	ax.set_ylim(-5, 10)
	ax.grid(True, alpha=0.4)
	ax.set_xlabel("payload bit/s over air time")
	ax.set_ylabel("SNR for 90 % success (dB)")
	ax.set_title(f"SNR for 90 % of bursts in white noise (SNR in 3 kHz, {bursts} bursts per point) against payload "
		     "bit rate\nlower is better; ofdm_burst labelled mode/mapping")
	if ax.get_legend_handles_labels()[0]:
		ax.legend(loc="lower right")
	fig.savefig(path, dpi=100)
	plt.close(fig)


def fading(rows: list[dict], bursts: int, path: pathlib.Path) -> None:
	"""SNR for 50 % and 90 % of bursts under Watterson moderate and poor
	beside the 90 % point in white noise, one line per system."""
	chosen = [r for r in rows if r.get("moderate_snr50_db")]
	if not chosen:
		return
	fig, ax = plt.subplots(figsize=(12, 1.6 + 0.55 * len(chosen)))
	marks = (("snr90_db", "white noise, 90 %", "k", "D", True), ("moderate_snr50_db", "moderate, 50 %", "#2c6fbb", "o", False),
		 ("moderate_snr90_db", "moderate, 90 %", "#2c6fbb", "o", True), ("poor_snr50_db", "poor, 50 %", "#c0392b", "s", False),
		 ("poor_snr90_db", "poor, 90 %", "#c0392b", "s", True))
	for y, r in enumerate(chosen):
		for k, (column, title, colour, marker, filled) in enumerate(marks):
			text = r.get(column, "")
			x = NEVER if text == "never" else number(text.lstrip("<"))
			if x is None:
				continue
			ax.scatter([x], [y + (k - 2) * 0.08], c=colour if filled else "white", edgecolors=colour, marker=marker,
				   s=55, label=title if y == 0 else None, zorder=3)
	ax.set_yticks(range(len(chosen)), labels=[f"{r['system']} {r['mode']}" + (f" {r['demod']}" if r.get("demod") else "")
						 for r in chosen])
	ax.invert_yaxis()
	ax.axvline(30.5, color="grey", lw=0.8)
	ax.set_xlim(-6, NEVER + 1)
	ax.set_xticks(list(range(-5, 31, 5)) + [NEVER], labels=[str(t) for t in range(-5, 31, 5)] + ["never"])
	ax.grid(True, axis="x", alpha=0.4)
	ax.set_xlabel("SNR in 3 kHz, averaged over the fading (dB)")
	ax.set_title(f"SNR for 50 % and 90 % of bursts under Watterson fading ({bursts} bursts per point); lower is better")
	ax.legend(loc="upper left", bbox_to_anchor=(1.01, 1), fontsize=9)
	fig.tight_layout()
	fig.savefig(path, dpi=100)
	plt.close(fig)


def legend(ax, **style) -> None:
	if ax.get_legend_handles_labels()[0]:
		ax.legend(**style)


def signed_log(cfo: float) -> float:
	return math.copysign(math.log10(1 + abs(cfo)), cfo)


def sensitivity(rows: list[dict], demod: str, folder: pathlib.Path) -> None:
	"""sensitivity_awgn[_DEMOD].png and sensitivity_robustness[_DEMOD].png."""
	rows = [r for r in rows if r["demod"] == demod]
	if not rows:
		return
	bursts = rows[0]["bursts"]
	suffix = "" if demod == "reference" else "_" + demod

	def select(test, **match):
		return [r for r in rows if r["test"] == test and all(r[k] == str(v) for k, v in match.items())]

	fig, axes = plt.subplots(1, 3, figsize=(18, 6.4))
	fig.suptitle(f"Burst success in white Gaussian noise, {demod} demodulator ({bursts} bursts per point, one curve per "
		     "mode and mapping)")
	panels = ((8000, "white", "8000 Hz, white noise over 0-4 kHz"),
		  (48000, "ssb", "48000 Hz, noise behind a 300-3000 Hz pass band"),
		  (48000, "white", "48000 Hz, white noise over 0-24 kHz"))
	for ax, (rate, noise, title) in zip(axes, panels):
		for mode in (14, 15, 16):
			for mapping in (2, 4, 8):
				curve = sorted((float(r["snr_db"]), float(r["success_pct"]))
					       for r in select("awgn", rate=rate, noise=noise, mode=mode, mapping=mapping))
				if curve:
					ax.plot(*zip(*curve), color=MODE_COLOUR[mode], marker=MAPPING_MARKER[mapping],
						ls=MAPPING_DASH[mapping], ms=4, lw=1.5, label=f"mode {mode}, mapping {mapping}")
		ax.set(title=title, xlim=(-3, 16), ylim=(0, 102), xlabel="SNR in 3 kHz (dB)", ylabel="bursts received (%)")
		ax.grid(True, alpha=0.4)
		legend(ax, loc="lower right", fontsize=8)
	fig.savefig(folder / f"sensitivity_awgn{suffix}.png", dpi=100)
	plt.close(fig)

	fig, axes = plt.subplots(1, 3, figsize=(18, 6.4))
	fig.suptitle(f"Mode 14, {demod} demodulator, {bursts} bursts per point, SNR 3 dB above the 90 % point of the "
		     "variant in noise (rounded up to 0.5 dB); 48000 Hz behind a 300-3000 Hz pass band unless marked white",
		     fontsize=11)
	for rate in (8000, 48000):
		noise = "white" if rate == 8000 else "ssb"
		for mapping in (2, 4, 8):
			style = dict(color=VARIANT_COLOUR[rate, mapping], marker=MAPPING_MARKER[mapping], ms=4, lw=1.5,
				     label=f"{rate} Hz, mapping {mapping}")
			cfo = sorted((signed_log(float(r["cfo_hz"])), float(r["success_pct"]))
				     for r in select("cfo", rate=rate, noise=noise, mapping=mapping))
			if cfo:
				axes[0].plot(*zip(*cfo), **style)
			if rate == 48000:
				white = sorted((signed_log(float(r["cfo_hz"])), float(r["success_pct"]))
					       for r in select("cfo", rate=rate, noise="white", mapping=mapping))
				if white:
					axes[0].plot(*zip(*white), color=style["color"], marker=MAPPING_MARKER[mapping], ls="none",
						     ms=8, label=f"48000 Hz white, mapping {mapping}")
			ppm = sorted((float(r["ppm"]), float(r["success_pct"]))
				     for r in select("ppm", rate=rate, noise=noise, mapping=mapping))
			if ppm:
				axes[1].plot(*zip(*ppm), **style)
			faded = select("fading", rate=rate, noise=noise, mapping=mapping)
			for k, profile in enumerate(("good", "moderate", "poor")):
				line = sorted((float(r["snr_db"]), float(r["success_pct"])) for r in faded if r["fading"] == profile)
				if line:
					axes[2].plot([3 * k + 1 + i for i in range(len(line))], [p[1] for p in line],
						     **(style if k == 0 else {**style, "label": None}))
	ticks = (-600, -200, -50, -10, -3.1, 0, 3.1, 10, 50, 200, 1500, 5000, 20000)
	axes[0].set_xticks([signed_log(t) for t in ticks], labels=[f"{t:g}" if abs(t) < 10000 else "20k" for t in ticks],
			   fontsize=8)
	axes[0].set(title="centre-frequency offset (signed log scale)", xlabel="offset (Hz)", xlim=(-3.0, 4.45))
	axes[1].set(title="sample-clock offset", xlabel="offset (ppm)", xlim=(-2200, 2200))
	axes[2].set_xticks(range(1, 10), labels=[f"{p}\n+{e}" for p in ("good", "mod.", "poor") for e in (3, 10, 20)],
			   fontsize=9)
	axes[2].set(title="Watterson fading; dB over the 90 % point", xlim=(0.5, 12.7))
	for ax in axes:
		ax.set(ylim=(0, 102), ylabel="bursts received (%)")
		ax.grid(True, alpha=0.4)
		legend(ax, fontsize=8)
	fig.savefig(folder / f"sensitivity_robustness{suffix}.png", dpi=100)
	plt.close(fig)
