// decode_stream's command line: the real program of this tree, run once per
// input. The bytes up to the first 0xff are the arguments, separated by zero
// bytes (at most five); the bytes after it are its standard input (at most
// 64 KiB). The program's own option parser says what the arguments ask for;
// the program must then do just that: the usage or version text, the one
// message and status of a refused command line, or run to the end of the
// input with status 0 and print nothing but event lines in the format asked
// for. Only a WAV stream may be refused (status 1, messages only).

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "code/assert.hh"
#include "tools/io/audio_input.hh"
#include "tools/cli/receiver_options.hh"

namespace {

int memory_file(const char *name, const std::string &content)
{
	int fd = memfd_create(name, 0);
	ASSERT(fd >= 0);
	ASSERT(write(fd, content.data(), content.size()) == ssize_t(content.size()));
	ASSERT(lseek(fd, 0, SEEK_SET) == 0);
	return fd;
}

std::string contents(int fd)
{
	std::string text;
	ASSERT(lseek(fd, 0, SEEK_SET) == 0);
	char buffer[4096];
	for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, got);
	close(fd);
	return text;
}

struct Run
{
	int status;
	std::string out, err;
};

Run run(const std::vector<std::string> &args, const std::string &input)
{
	int in = memory_file("in", input), out = memory_file("out", ""), err = memory_file("err", "");
	std::vector<char *> argv{const_cast<char *>(DECODE_STREAM)};
	for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
	argv.push_back(nullptr);
	// A sanitizer report must not pass for the program's own status 1.
	char *envp[] = {const_cast<char *>("ASAN_OPTIONS=exitcode=86:detect_leaks=1"),
			const_cast<char *>("UBSAN_OPTIONS=exitcode=86:print_stacktrace=1:halt_on_error=1"), nullptr};
	pid_t pid = fork();
	ASSERT(pid >= 0);
	if (pid == 0) {
		dup2(in, 0), dup2(out, 1), dup2(err, 2);
		execve(DECODE_STREAM, argv.data(), envp);
		_exit(127);
	}
	close(in);
	// libFuzzer's timer signal interrupts the wait.
	int status;
	pid_t waited;
	while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {}
	ASSERT(waited == pid);
	Run r{status, contents(out), contents(err)};
	if (!WIFEXITED(status) || WEXITSTATUS(status) > 2) {
		std::fprintf(stderr, "decode_stream ended with wait status %d:\n%s\n", status, r.err.c_str());
		ASSERT(!"decode_stream crashed or failed");
	}
	r.status = WEXITSTATUS(status);
	return r;
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const char *bytes = reinterpret_cast<const char *>(data);
	size_t split = std::find(data, data + size, 0xff) - data;
	std::vector<std::string> args;
	for (size_t first = 0; first <= split && args.size() < 5;) {
		size_t end = std::find(data + first, data + split, 0) - data;
		args.emplace_back(bytes + first, end - first);
		first = end + 1;
	}
	if (split == 0) args.clear();
	std::string input(split < size ? bytes + split + 1 : bytes + size, split < size ? std::min<size_t>(size - split - 1, 65536) : 0);
	std::vector<std::string> copy = args;
	std::vector<char *> argv{const_cast<char *>("decode_stream")};
	for (auto &a : copy) argv.push_back(a.data());
	argv.push_back(nullptr);
	ReceiverOptions options = parse_receiver_options(int(argv.size()) - 1, argv.data(), false);
	// A fuzzed file name could be any file of the machine.
	if (options.input.path) return 0;
	Run r = run(args, input);

	if (options.help) {
		ASSERT(r.status == 0 && r.err.empty() && r.out.rfind("Usage: decode_stream ", 0) == 0);
		return 0;
	}
	if (options.version) {
		ASSERT(r.status == 0 && r.err.empty() && r.out.rfind("decode_stream (ofdm_burst) ", 0) == 0);
		return 0;
	}
	if (!options.error.empty()) {
		std::string name = options.named ? "decode_stream: " : "";
		ASSERT(r.status == options.status && r.out.empty() && r.err == name + options.error + "\n");
		return 0;
	}
	ASSERT(r.status == 0 || (r.status == 1 && starts_wav(input)));
	for (size_t line = 0; line < r.err.size(); line = r.err.find('\n', line) + 1) {
		ASSERT(r.err.compare(line, 15, "decode_stream: ") == 0);
		ASSERT(r.err.find('\n', line) != std::string::npos);
	}
	for (size_t line = 0; line < r.out.size(); line = r.out.find('\n', line) + 1) {
		size_t end = r.out.find('\n', line), start = line;
		ASSERT(end != std::string::npos);
		if (options.json) {
			ASSERT(r.out.compare(line, 9, "{\"kind\":\"") == 0 && r.out[end - 1] == '}');
			continue;
		}
		if (options.timestamps != Timestamps::NONE) {
			start = r.out.find(' ', line) + 1;
			ASSERT(start > line && start < end);
			const char *digits = options.timestamps == Timestamps::WALL ? "0123456789-T:.Z" : "0123456789.";
			ASSERT(r.out.find_first_not_of(digits, line) == start - 1);
		}
		ASSERT(r.out.compare(start, 6, "EVENT:") == 0);
	}
	return 0;
}
