// The subcommands of annot. Each takes the arguments after its name and
// returns the exit status.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sdk/ks_types.h"

namespace kshost {
class Session;
}

namespace annot {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// How the commands that save write their output, for their usage texts.
#define ANNOT_SAVE_HELP                                                       \
  "The output is the input file with an update appended when it is that\n"    \
  "file or the input is signed, which keeps earlier signatures valid; it is\n" \
  "rewritten whole otherwise, or with --full.\n"

extern const char kInfoUsage[];
extern const char kRunUsage[];
extern const char kPluginUsage[];
extern const char kSampleUsage[];
extern const char kXfdfUsage[];
extern const char kMeasureUsage[];
extern const char kRegenerateUsage[];
extern const char kToolsetUsage[];
extern const char kServeUsage[];

int RunInfo(const std::vector<std::string>& args);
int RunRun(const std::vector<std::string>& args);
int RunPlugin(const std::vector<std::string>& args);
int RunSample(const std::vector<std::string>& args);
int RunXfdf(const std::vector<std::string>& args);
int RunMeasure(const std::vector<std::string>& args);
int RunRegenerate(const std::vector<std::string>& args);
// The help of one `annot toolset` subcommand, or null for an unknown one.
const char* ToolsetSubUsage(const std::string& sub);
int RunToolset(const std::vector<std::string>& args);
int RunServe(const std::vector<std::string>& args);

// Arguments split into positionals, "-o FILE", "--password PW" and flags.
// False when -o or --password lacks its value or comes twice, an argument
// starting with '-' is no known flag, or the number of positionals is not
// `positionals`.
struct CommandArgs {
  std::vector<std::string> positional;
  std::string out;                  // the file after -o, or empty
  std::string password;             // the password after --password, or empty
  std::vector<std::string> flags;   // the flags given, in order
  bool Has(const std::string& flag) const;
};
bool SplitArgs(const std::vector<std::string>& args, size_t from, size_t positionals,
               const std::vector<std::string>& knownFlags, CommandArgs* out);

// "annot: " + message on stderr; returns `status`. A message that is empty
// or ends in an empty reason is completed, so the user always reads why.
int Fail(int status, const std::string& message);

// True when `a` and `b` name one existing file, through links or spelled
// differently.
bool SameFile(const std::string& a, const std::string& b);

// Refuses an output `out` that is the input `in` of another format, which
// the output would destroy. Empty when `out` may be written, else the
// message for Fail.
std::string OutputReplacesInput(const std::string& out, const std::string& in, const char* inputKind);

// Flushes standard output. A write to it that failed (a full disk, a
// closed pipe) makes a successful `status` a failure, with the system's
// reason on stderr when it is still known.
int FinishOutput(int status);

// The one way a command opens a document: the annotation library is bound
// to the host's functions, and the file is opened in a host session, so
// that every command sees the document, its fonts and its annotations
// through the same host.
class CommandDocument {
 public:
  CommandDocument();
  ~CommandDocument();  // closes the document
  CommandDocument(const CommandDocument&) = delete;
  CommandDocument& operator=(const CommandDocument&) = delete;

  // Opens `path` with `password` (empty: none). With `forChange` a file
  // whose permissions forbid changing annotations is refused. False with
  // the message for Fail, which names the file.
  bool Open(const std::string& path, const std::string& password, bool forChange, std::string* error);
  KPD_Document Get() const;
  // Saves to `path`, leaving it untouched on failure; false with the host's
  // reason (possibly empty). `full` asks for a whole new file instead of an
  // update appended to the original.
  bool Save(const std::string& path, bool full, std::string* error);
  // Begins the save to `path` before the command's work is over, so that
  // it can hand over what it is done with (Release) and hold less in
  // memory; Save(path) ends it. False when it cannot begin early (the file
  // is saved as usual then).
  bool BeginSave(const std::string& path, bool full);
  // Writes objects the command will not read again into the save begun,
  // and frees them.
  void Release(const std::vector<KPD_Object>& objects);
  // The same for an annotation with its popup and the appearance streams
  // this command gave them.
  void ReleaseAnnotation(KPD_Object annot);
  // What the saves said about how they wrote the file.
  const std::vector<std::string>& SaveNotices() const;
  // Gives the document up without closing it, for a command about to end:
  // freeing a large document object by object costs more than the rest of
  // the run, and the system takes the memory back at once.
  void Abandon();

 private:
  std::unique_ptr<kshost::Session> session_;
};

}  // namespace annot
