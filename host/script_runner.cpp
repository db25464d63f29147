#include "host/script_runner.h"

#include <charconv>
#include <functional>
#include <map>
#include <vector>

#include "host/host_env.h"
#include "host/host_functions.h"
#include "host/session.h"
#include "host/utf.h"
#include "tessel/dialog.h"
#include "tessel/translator.h"

namespace kshost {
namespace {

using Args = std::vector<std::string>;

// Splits a line into words; double quotes group, backslash escapes a quote.
bool SplitLine(const std::string& line, Args* out, std::string* error) {
  out->clear();
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size() || line[i] == '#') break;
    std::string word;
    if (line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char c = line[i++];
        if (c == '\\' && i < line.size()) {
          word += line[i++];
        } else if (c == '"') {
          closed = true;
          break;
        } else {
          word += c;
        }
      }
      if (!closed) {
        *error = "unterminated quote";
        return false;
      }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
    }
    out->push_back(word);
  }
  return true;
}

bool ParseInt(const std::string& s, int* out) {
  auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

class Runner {
 public:
  explicit Runner(Session& s) : session_(s) {}

  bool Run(const Args& a, std::string* why) {
    static const std::map<std::string, bool (Runner::*)(const Args&, std::string*)> commands = {
        {"open", &Runner::Open},         {"save", &Runner::Save},     {"language", &Runner::Language},
        {"answer", &Runner::Answer},     {"expect", &Runner::Expect},
    };
    auto it = commands.find(a[0]);
    if (it == commands.end()) {
      *why = "unknown command '" + a[0] + "'";
      return false;
    }
    return (this->*it->second)(a, why);
  }

 private:
  bool Open(const Args& a, std::string* why) {
    if (a.size() != 2) return Usage("open PATH", why);
    return session_.Open(a[1], why);
  }

  bool Save(const Args& a, std::string* why) {
    if (a.size() > 2) return Usage("save [PATH]", why);
    std::string path = a.size() == 2 ? a[1] : session_.DocumentPath();
    if (path.empty()) {
      *why = "no document is open";
      return false;
    }
    return session_.Save(path, why);
  }

  bool Language(const Args& a, std::string* why) {
    if (a.size() != 2) return Usage("language CODE", why);
    Env().setUiLanguage(a[1]);
    Tessel::SetCurrentLanguage(ToUtf16(a[1]), true);
    return true;
  }

  bool Answer(const Args& a, std::string* why) {
    if (a.size() >= 4 && a[1] == "dialog") {
      Tessel::Headless::DialogAnswer answer;
      if (a[2] != "*") answer.dialogName = ToUtf16(a[2]);
      if (a[3] == "ok") {
        answer.result = 1;
      } else if (a[3] == "cancel") {
        answer.result = 2;
      } else if (!ParseInt(a[3], &answer.result)) {
        *why = "dialog result must be ok, cancel or a number, not '" + a[3] + "'";
        return false;
      }
      for (size_t i = 4; i < a.size(); ++i) {
        size_t eq = a[i].find('=');
        if (eq == std::string::npos || eq == 0) {
          *why = "expected ELEMENT=VALUE, not '" + a[i] + "'";
          return false;
        }
        answer.values[ToUtf16(a[i].substr(0, eq))] = ToUtf16(a[i].substr(eq + 1));
      }
      Tessel::Headless::QueueDialogAnswer(answer);
      return true;
    }
    if (a.size() >= 3 && a[1] == "file") {
      std::vector<std::u16string> paths;
      for (size_t i = 2; i < a.size(); ++i) paths.push_back(ToUtf16(a[i]));
      Tessel::Headless::QueueFileDialogAnswer(paths);
      return true;
    }
    return Usage("answer dialog NAME RESULT [ELEMENT=VALUE ...] | answer file PATH...", why);
  }

  bool Expect(const Args& a, std::string* why) {
    int page = 0, count = 0;
    if (a.size() != 4 || a[1] != "annots" || !ParseInt(a[2], &page) || !ParseInt(a[3], &count))
      return Usage("expect annots PAGE COUNT", why);
    if (!session_.Document()) {
      *why = "no document is open";
      return false;
    }
    KPD_Page p = fn::DocGetPage(session_.Document(), page - 1);
    if (!p) {
      *why = "the document has no page " + a[2];
      return false;
    }
    int actual = fn::PageAnnotCount(p);
    if (actual != count) {
      *why = "page " + a[2] + " has " + std::to_string(actual) + " annotations, expected " + a[3];
      return false;
    }
    return true;
  }

  static bool Usage(const char* form, std::string* why) {
    *why = std::string("usage: ") + form;
    return false;
  }

  Session& session_;
};

}  // namespace

bool RunScript(Session& session, std::istream& script, const std::string& name, std::string* error) {
  Runner runner(session);
  std::string line, why;
  Args args;
  for (int number = 1; std::getline(script, line); ++number) {
    bool ok = SplitLine(line, &args, &why) && (args.empty() || runner.Run(args, &why));
    if (!ok) {
      if (error) *error = name + ":" + std::to_string(number) + ": " + why;
      return false;
    }
  }
  return true;
}

}  // namespace kshost
