// The game's command line is put together from the launcher's own command
// line, login parameters from page script, custom parameters from the
// server and the developers' luapath.txt. Checked against how the game will
// split it (CommandLineToArgvW's rules): the launcher's own arguments reach
// the game unchanged whatever the other parts hold; login and custom
// parameters that close their own quotes reach it as the arguments they
// make on their own (unquoted, as the game expects); the luapath directory
// arrives as one argument, exactly; and a line is refused only when it
// would not fit the 1,024 characters of the start.
//
// Input: NUL-separated pieces; the last three are the login parameters,
// the custom parameters and the luapath.txt text, the ones before them the
// launcher's arguments (the first its program path).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "web/login_launch.h"

using tovfuzz::Check;

namespace {

// One argument as CommandLineToArgvW gives it back: quoted when it holds a
// blank, a tab or a quote, with the backslashes before a quote, and those
// before the closing one, doubled.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

// The launcher's command line as the system reports it: the program path,
// quoted by whoever started it (always by the shell's links, only when
// needed from a prompt), then its arguments. A path holds no quote.
std::wstring LauncherCommandLine(std::vector<std::wstring>& argv, bool quoteProgram) {
  std::wstring& program = argv[0];
  std::wstring clean;
  for (wchar_t c : program) {
    if (c != L'"') clean += c;
  }
  program = clean.empty() ? L"C:\\bm-chan\\Halvard.exe" : clean;
  bool needsQuotes = program.find_first_of(L" \t") != std::wstring::npos;
  std::wstring line = quoteProgram || needsQuotes ? L"\"" + program + L"\"" : program;
  for (size_t i = 1; i < argv.size(); ++i) {
    line += L" " + (argv[i].empty() ? L"\"\"" : QuoteArgument(argv[i]));
  }
  return line;
}

std::wstring Join(const std::vector<std::wstring>& args) {
  std::wstring out;
  for (const auto& a : args) out += L"[" + a + L"]";
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> pieces = tovfuzz::SplitOnNul(data, size);
  while (pieces.size() < 4) pieces.insert(pieces.begin(), std::string());
  std::vector<std::wstring> argv;
  for (size_t i = 0; i + 3 < pieces.size(); ++i) argv.push_back(tovfuzz::WideFromBytes(pieces[i]));
  const std::wstring login = tovfuzz::WideFromBytes(pieces[pieces.size() - 3]);
  const std::wstring custom = tovfuzz::WideFromBytes(pieces[pieces.size() - 2]);
  const std::wstring luaText = tovfuzz::WideFromBytes(pieces.back());

  const std::wstring launcher = LauncherCommandLine(argv, size % 2 == 0);
  Check(tovfuzz::SplitCommandLine(launcher) == argv, "a quoted argument does not split back", launcher);

  const std::wstring luaDir = tov::LuaPathCandidate(luaText);
  const std::wstring luaArg = luaDir.empty() ? L"" : tov::LuaPathArgument(luaDir);
  std::optional<std::wstring> line = tov::ComposeGameCommandLine(launcher, login, custom, luaArg);
  const size_t needed = launcher.size() + login.size() + custom.size() + luaArg.size() +
                        std::wstring(L" --parameters= --plat_extra=").size();
  if (!line) {
    Check(needed >= 1024, "a command line that fits was refused", launcher);
    return 0;
  }
  Check(line->size() < 1024, "a command line longer than the start allows");

  const std::vector<std::wstring> args = tovfuzz::SplitCommandLine(*line);
  if (args.size() < argv.size() || !std::equal(argv.begin(), argv.end(), args.begin())) {
    tovfuzz::Fail("the launcher's own arguments did not survive", *line + L"  ->  " + Join(args));
  }

  tovfuzz::TailSplit loginArgs = tovfuzz::SplitCommandTail(L"--parameters=" + login);
  tovfuzz::TailSplit customArgs = tovfuzz::SplitCommandTail(L"--plat_extra=" + custom);
  if (loginArgs.quoteOpen || customArgs.quoteOpen) return 0;  // such values run on by design
  std::vector<std::wstring> expected = argv;
  expected.insert(expected.end(), loginArgs.args.begin(), loginArgs.args.end());
  expected.insert(expected.end(), customArgs.args.begin(), customArgs.args.end());
  if (!luaDir.empty()) expected.push_back(L"--luapath=" + luaDir);
  if (args != expected) {
    tovfuzz::Fail("the game would not get the intended arguments",
                  *line + L"  ->  " + Join(args) + L"  wanted  " + Join(expected));
  }
  return 0;
}
