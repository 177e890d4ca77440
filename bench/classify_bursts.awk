# Burst outcomes of decode_stream's event lines: awk -v n=BURSTS -v mode=MODE -f
# classify_bursts.awk PAYLOADS EVENTS prints "ok no_detect meta_rejected
# crc_failed wrong_payload cut_off false_alarms" (see sensitivity.sh).
function field(line, name,   s) {
	s = substr(line, index(line, name) + length(name))
	sub(/\|.*/, "", s)
	return s
}
# Unnamed failures waiting for the next named burst go to the bursts
# before it that have nothing yet.
function settle(upto,   j) {
	for (j = cur; j < upto && npend > 0; ++j)
		if (state[j] == "") { state[j] = "meta"; --npend }
	false_alarms += npend
	npend = 0
}
FNR == NR { sent[FNR] = $0; next }
{ ev[++m] = $0 }
END {
	cur = 1
	for (k = 1; k <= m; ++k) {
		line = ev[k]
		if (line ~ /^EVENT:(SYNC|NOPE|PING)\|/) {
			call = field(line, "CALL:")
			sub(/ +$/, "", call)
			j = (call ~ /^B[0-9][0-9][0-9]$/) ? substr(call, 2) + 0 : 0
			redo = (j == last && state[j] == "cut")
			if (j < 1 || j > n || (j < cur && !redo)) {
				++npend
				if (line ~ /^EVENT:SYNC/ && ev[k + 1] ~ /^EVENT:MESSAGE/) ++k
				continue
			}
			if (!redo) settle(j)
			last = j
			cur = j + 1
			if (line !~ /^EVENT:SYNC/ || field(line, "MODE:") != mode "") {
				state[j] = "meta"
				if (line ~ /^EVENT:SYNC/ && ev[k + 1] ~ /^EVENT:MESSAGE/) ++k
			} else if (ev[k + 1] ~ /^EVENT:MESSAGE/) {
				++k
				flips = field(ev[k], "FLIPS:") + 0
				text = substr(ev[k], index(ev[k], "|PAYLOAD:") + 9)
				state[j] = flips < 0 ? "crc" : text == sent[j] ? "ok" : "wrong"
			} else {
				state[j] = "cut"
				if (ev[k + 1] ~ /^EVENT:PREAMBLE_FAIL/) ++k
			}
		} else {
			++npend
		}
	}
	settle(n + 1)
	for (j = 1; j <= n; ++j) ++count[state[j] == "" ? "none" : state[j]]
	printf "%d %d %d %d %d %d %d\n", count["ok"], count["none"], count["meta"], count["crc"],
		count["wrong"], count["cut"], false_alarms
}
