'use strict';

// The station's page. Everything received is put in as text (textContent,
// canvas text), never as markup.
(() => {
	const $ = (id) => document.getElementById(id);
	const token = document.querySelector('meta[name="send-token"]').content;
	const columns = 360, hertzPerColumn = 4000 / columns;
	const background = [0x10, 0x10, 0x18];
	const capacity = { 0: 0, 14: 170, 15: 128, 16: 85 };
	const keptMessages = 500;

	const waterfall = $('waterfall'), marks = $('marks');
	const wctx = waterfall.getContext('2d'), mctx = marks.getContext('2d');
	const width = waterfall.width, height = waterfall.height;
	const pixels = wctx.createImageData(columns, 1);
	let lastRowTime = null, rowSeconds = 0.09;

	wctx.fillStyle = '#101018';
	wctx.fillRect(0, 0, width, height);

	function drawAxis() {
		const axis = $('axis'), ctx = axis.getContext('2d'), scale = axis.width / columns;
		ctx.fillStyle = '#101018';
		ctx.fillRect(0, 0, axis.width, axis.height);
		ctx.fillStyle = '#c8c8c8';
		ctx.strokeStyle = '#606070';
		ctx.font = '12px ui-monospace, monospace';
		ctx.textBaseline = 'top';
		for (let hz = 0; hz <= 4000; hz += 500) {
			const x = Math.round((hz / hertzPerColumn) * scale) + 0.5;
			ctx.beginPath();
			ctx.moveTo(x, axis.height - 8);
			ctx.lineTo(x, axis.height);
			ctx.stroke();
			const label = hz === 0 ? '0 Hz' : String(hz);
			const w = ctx.measureText(label).width;
			ctx.fillText(label, Math.min(Math.max(x - w / 2, 2), axis.width - w - 2), 4);
		}
	}

	// A row (row_event: base64 of R, G, B, alpha bytes) laid over the background, as the picture renderer does.
	function addRow(row) {
		if (typeof row.rgba !== 'string' || typeof row.t !== 'number') return;
		const bytes = atob(row.rgba);
		if (bytes.length !== 4 * columns) return;
		wctx.drawImage(waterfall, 0, 0, width, height - 1, 0, 1, width, height - 1);
		// The marks are mostly transparent: copied over themselves, not laid over.
		mctx.globalCompositeOperation = 'copy';
		mctx.drawImage(marks, 0, 0, width, height - 1, 0, 1, width, height - 1);
		mctx.globalCompositeOperation = 'source-over';
		mctx.clearRect(0, 0, width, 1);
		const out = pixels.data;
		for (let i = 0; i < columns; ++i) {
			const alpha = bytes.charCodeAt(4 * i + 3);
			for (let c = 0; c < 3; ++c)
				out[4 * i + c] = ((bytes.charCodeAt(4 * i + c) * alpha + background[c] * (255 - alpha) + 127) / 255) | 0;
			out[4 * i + 3] = 255;
		}
		wctx.putImageData(pixels, 0, 0);
		if (lastRowTime !== null && row.t > lastRowTime && row.t - lastRowTime < 1) rowSeconds = row.t - lastRowTime;
		lastRowTime = row.t;
	}

	// A tick under the burst's start at its frequency, and its call sign.
	function mark(event, colour) {
		if (typeof event.cfo !== 'number') return;
		const x = Math.round(event.cfo / hertzPerColumn);
		const y = lastRowTime === null ? 0 : Math.max(0, Math.round((lastRowTime - event.time) / rowSeconds));
		mctx.fillStyle = colour;
		mctx.fillRect(x - 3, y + 1, 7, 1);
		mctx.fillRect(x, y + 1, 1, 4);
		mctx.font = '9px ui-monospace, monospace';
		mctx.textBaseline = 'top';
		mctx.fillText(event.call || '', x + 3, y + 3);
	}

	// Control characters as their visible pictures, so that a payload shows all it holds.
	function visible(text) {
		return text.replace(/[\u0000-\u001f\u007f]/g, (c) =>
			String.fromCharCode(c === '\u007f' ? 0x2421 : 0x2400 + c.charCodeAt(0)));
	}

	function cell(tr, text, className) {
		const td = document.createElement('td');
		td.textContent = text;
		if (className) td.className = className;
		tr.appendChild(td);
		return td;
	}

	function when(event) {
		if (typeof event.wall === 'string') {
			const t = event.wall.indexOf('T');
			return t >= 0 ? event.wall.slice(t + 1, t + 9) : event.wall;
		}
		return typeof event.time === 'number' ? event.time.toFixed(2) + ' s' : '';
	}

	// A row of the received list; cells are filled as the burst's events come.
	function addEntry(event) {
		const tr = document.createElement('tr');
		tr.className = 'entry';
		const entry = {
			tr,
			time: cell(tr, when(event)),
			offset: cell(tr, typeof event.cfo === 'number' ? Math.round(event.cfo) + ' Hz' : '', 'number offset'),
			mode: cell(tr, event.mode >= 0 ? String(event.mode) : '', 'number mode'),
			mapping: cell(tr, event.mapping !== undefined ? String(event.mapping) : '', 'mapping'),
			call: cell(tr, typeof event.call === 'string' ? event.call : '', 'call'),
			payload: cell(tr, '', 'payload'),
		};
		const list = $('messages');
		list.insertBefore(tr, list.firstChild);
		while (list.children.length > keptMessages) list.removeChild(list.lastChild);
		return entry;
	}

	function finish(entry, event) {
		entry.tr.dataset.received = String(Date.now());
		if (event.mapping !== undefined) entry.mapping.textContent = String(event.mapping);
		if (event.flips < 0) {
			entry.payload.textContent = 'payload failed its check';
			entry.payload.classList.add('failed');
			return;
		}
		const text = document.createElement('span');
		text.className = 'text';
		text.textContent = visible(String(event.payload || ''));
		const details = document.createElement('details');
		const summary = document.createElement('summary');
		summary.textContent = 'hex';
		const code = document.createElement('code');
		code.className = 'hex';
		code.textContent = String(event.payload_hex || '').replace(/(..)(?!$)/g, '$1 ');
		details.append(summary, code);
		entry.payload.replaceChildren(text, details);
	}

	let open = null; // the entry of a SYNC that waits for its MESSAGE

	function onEvent(event) {
		switch (event.kind) {
		case 'SYNC':
			open = addEntry(event);
			open.payload.textContent = 'receiving…';
			mark(event, '#ffffff');
			break;
		case 'MESSAGE':
			finish(open || addEntry(event), event);
			open = null;
			break;
		case 'PING':
			addEntry(event).payload.textContent = 'ping';
			mark(event, '#ffffff');
			break;
		case 'NOPE':
			addEntry(event).payload.textContent = 'mode ' + event.mode + ' is not one this station decodes';
			mark(event, '#ff5050');
			break;
		}
	}

	function onStatus(status) {
		const number = (x) => typeof x === 'number';
		const dbfs = (x) => (x < -120 ? 'silence' : x.toFixed(1) + ' dBFS');
		if (number(status.level)) {
			$('level').value = Math.max(-60, Math.min(0, status.level));
			$('level-text').textContent = 'peak ' + dbfs(status.level) + (number(status.rms) ? ', RMS ' + dbfs(status.rms) : '');
		}
		if (typeof status.clipping === 'boolean') $('clipping').hidden = !status.clipping;
		if (number(status.rate)) $('rate').textContent = status.rate.toFixed(0) + ' Hz';
		if (typeof status.input === 'string') {
			$('input-state').textContent = status.input === 'ok' ? 'ok' : 'lost: trying again';
			$('input-state').className = status.input === 'ok' ? 'ok' : 'warn';
		}
		if (number(status.overruns))
			$('overruns').textContent = status.overruns + (number(status.lost) ? ' (' + status.lost + ' frames lost)' : '');
		if (typeof status.tx === 'string') {
			$('tx').textContent = status.tx;
			$('tx').classList.toggle('on', status.tx !== 'idle');
		}
		if (number(status.queued)) $('queued').textContent = String(status.queued);
		if (number(status.sent))
			$('sent').textContent = status.sent + (number(status.underruns) ? ', ' + status.underruns + ' underruns' : '');
	}

	// Events of each kind this page got, for benchmarks that count what arrived.
	const counts = { message: 0, row: 0, status: 0 };
	window.stationCounts = counts;

	function connect() {
		const source = new EventSource('/events');
		const state = $('connection');
		source.onopen = () => {
			state.textContent = 'live';
			state.className = 'ok';
		};
		source.onerror = () => {
			state.textContent = source.readyState === EventSource.CLOSED ? 'refused, trying again' : 'reconnecting';
			state.className = 'warn';
			if (source.readyState === EventSource.CLOSED) setTimeout(connect, 5000);
		};
		const handle = (f) => (e) => {
			++counts[e.type];
			let data;
			try {
				data = JSON.parse(e.data);
			} catch {
				return;
			}
			if (data && typeof data === 'object') f(data);
		};
		source.addEventListener('message', handle(onEvent));
		source.addEventListener('row', handle(addRow));
		source.addEventListener('status', handle(onStatus));
	}

	function countBytes() {
		const bytes = new TextEncoder().encode($('payload').value).length;
		const limit = capacity[$('mode').value];
		$('count').textContent = '(' + bytes + ' of ' + limit + ' bytes)';
		$('count').classList.toggle('over', bytes > limit);
	}

	async function send(e) {
		e.preventDefault();
		const result = $('send-result');
		result.className = '';
		result.textContent = 'sending…';
		const mode = Number($('mode').value);
		const body = { call: $('call').value, mode };
		if (mode !== 0) body.payload = $('payload').value;
		try {
			const answer = await fetch('/send', {
				method: 'POST',
				headers: { 'Content-Type': 'application/json', 'X-Send-Token': token },
				body: JSON.stringify(body),
			});
			const reply = await answer.json().catch(() => ({}));
			result.textContent = answer.status === 202 ? 'queued' : String(reply.error || 'refused: ' + answer.status);
			result.className = answer.status === 202 ? 'ok' : 'error';
		} catch (error) {
			result.textContent = 'the station did not answer';
			result.className = 'error';
		}
	}

	drawAxis();
	$('payload').addEventListener('input', countBytes);
	$('mode').addEventListener('change', countBytes);
	$('send').addEventListener('submit', send);
	countBytes();
	connect();
})();
