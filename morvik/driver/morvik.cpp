// MORVIK's entry, the banner and the dialogue that takes the answers of a
// run, opens its files and saves the answers for the next run.
#include "morvik/driver/morvik.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <istream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/platform.h"
#include "common/report_sink.h"
#include "morvik/addrspace/dumpfunc.h"

namespace morvik {

namespace {

constexpr size_t kAnswerBuffer = 80;  // a text answer holds 79 characters
constexpr const char* kAnswersFile = "appargs";
constexpr const char* kAnswersTemp = "tmptmp.tmp";

std::string cut(const std::string& text, size_t buffer) {
  return text.size() < buffer ? text : text.substr(0, buffer - 1);
}

std::string lower(std::string t) {
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return t;
}

std::string upper(std::string t) {
  for (char& c : t)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return t;
}

// "%d" as sscanf reads it: optional blanks and sign, then digits.
bool scan_int(const std::string& text, int& value) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool neg = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
  if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  long long v = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
    v = std::min<long long>(v * 10 + (text[i] - '0'), 0x7FFFFFFF);
  value = static_cast<int>(neg ? -v : v);
  return true;
}

// The previous run's answers, read the way the answers were always read:
// words ("%s") and numbers ("%d"); the first read that fails closes the
// file, and no further defaults come from it.
class PrevArgs {
 public:
  void open(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return;
    text_.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    open_ = true;
    // Line 1 is the time stamp field; it is skipped whatever it holds.
    size_t nl = text_.find('\n');
    pos_ = nl == std::string::npos ? text_.size() : nl + 1;
  }
  void close() { open_ = false; }
  bool word(std::string& out) {
    if (!open_) return false;
    skip_space();
    size_t start = pos_;
    while (pos_ < text_.size() && !is_space(text_[pos_])) ++pos_;
    if (pos_ == start) return fail();
    out = cut(text_.substr(start, pos_ - start), kAnswerBuffer);
    return true;
  }
  bool number(int& out) {
    std::string w;
    if (!word(w)) return false;
    if (!scan_int(w, out)) return fail();
    return true;
  }
  bool line(std::string& out) {
    if (!open_) return false;
    skip_space();
    if (pos_ >= text_.size()) return fail();
    size_t nl = text_.find('\n', pos_);
    std::string l = text_.substr(pos_, nl == std::string::npos ? std::string::npos : nl - pos_);
    pos_ = nl == std::string::npos ? text_.size() : nl + 1;
    if (!l.empty() && l.back() == '\r') l.pop_back();
    out = cut(l, kAnswerBuffer + 1);
    return true;
  }

 private:
  static bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
  void skip_space() {
    while (pos_ < text_.size() && is_space(text_[pos_])) ++pos_;
  }
  bool fail() {
    open_ = false;
    return false;
  }
  std::string text_;
  size_t pos_ = 0;
  bool open_ = false;
};

void prompt(Session& s, const std::string& text) {
  s.con.err << text;
  s.con.err.flush();
}

// Takes one character; a CR LF pair counts as the one newline character.
int get_char(std::istream& in) {
  int c = in.get();
  if (c == '\r' && in.peek() == '\n') c = in.get();
  return c;
}

// A bare newline (or the end of the input) keeps the default.
bool bare_newline(std::istream& in) {
  int c = get_char(in);
  if (c == EOF || c == '\n') return true;
  in.unget();
  return false;
}

// One word as the answer, then the rest of its line. True when the
// operator typed an answer.
bool ask_word(Session& s, std::string& answer) {
  if (bare_newline(s.con.in)) return false;
  std::string w;
  if (!(s.con.in >> w)) return false;
  answer = cut(w, kAnswerBuffer);
  get_char(s.con.in);  // the newline after the word
  return true;
}

// The rest of the line as the answer (a file name with blanks).
bool ask_line(Session& s, std::string& answer) {
  if (bare_newline(s.con.in)) return false;
  std::string l;
  std::getline(s.con.in, l);
  if (!l.empty() && l.back() == '\r') l.pop_back();
  answer = cut(l, kAnswerBuffer);
  return true;
}

// A limit typed as a line of digits; an empty line keeps the default.
void ask_limit(Session& s, uint16_t& limit) {
  std::string l;
  if (!std::getline(s.con.in, l)) return;
  if (!l.empty() && l.back() == '\r') l.pop_back();
  if (l.empty()) return;
  uint16_t v = 0;
  for (char c : cut(l, kAnswerBuffer)) v = static_cast<uint16_t>(v * 10 + (c - '0'));
  limit = v;
}

// A command-line answer read as "%s" reads it: its first word, cut to the
// answer buffer. False when it holds no word (the answer keeps its default).
bool arg_word(const std::string& arg, std::string& answer) {
  std::istringstream in(arg);
  std::string w;
  if (!(in >> w)) return false;
  answer = cut(w, kAnswerBuffer);
  return true;
}

[[noreturn]] void cannot_open(Session& s, const std::string& name, int status) {
  vt::print(s.con.err, "\n\tCannot open %s\n", name.c_str());
  end_run(s, status);
}

std::string dump_prefix(const std::string& dumpname) {
  std::string p = dumpname.substr(0, 31);
  size_t at = p.find("cslcf");
  if (at == std::string::npos) at = p.find("csltf");
  return at == std::string::npos ? std::string() : p.substr(0, at);
}

}  // namespace

int morvik_banner(Session& s, int argc, char** argv) {
  std::ostream& out = s.con.out;
  out << "\n";
  out << "\t###############################################################\n";
  out << "\t#                                                             #\n";
  out << "\t#      MORVIK:  VELA BASIC Controller or Terminal Big        #\n";
  out << "\t#              Memory Model Dump Formatter                    #\n";
  vt::print(out, "\t#                                                 %s  #\n", Session::program_date);
  out << "\t###############################################################\n";
  if (argc > 1) {
    std::string last = argv[argc - 1];
    if (last == "/d") {
      s.debugmode = 1;
      report(s, 1);
    } else if (last == "/dh") {
      s.heap_debugmode = 1;
      report(s, 1);
    }
  }
  if (argc > s.debugmode + 1 && argv[1][0] == '?') {
    out << "\n\tThis tool formats BASIC big model terminal and controller dumps.\n\n";
    end_run(s, 0);
  }
  if (!stdout_ok(s)) end_run(s, 1);
  s.con.err.flush();
  return 0;
}

void dialogue(Session& s, int argc, char** argv) {
  AddressSpace& a = s.space;
  int n = argc - 1;
  if (n > 0 && (s.debugmode || s.heap_debugmode)) --n;  // the trailing option
  std::vector<std::string> pos;
  for (int i = 1; i <= n && pos.size() < 8; ++i) pos.emplace_back(argv[i]);
  auto has = [&](size_t k) { return pos.size() >= k; };
  auto arg = [&](size_t k) { return cut(pos[k - 1], kAnswerBuffer); };

  PrevArgs prev;
  if (pos.empty()) prev.open(kAnswersFile);
  std::string saved = "0.000000\n";  // the time stamp field

  // 1. The dump file.
  std::string dumpname = "omkcsltf.dat";
  prev.word(dumpname);
  if (has(1)) {
    dumpname = arg(1);
  } else {
    prompt(s, vt::format("\n     Name of dump file (default %s):  ", dumpname.c_str()));
    if (ask_word(s, dumpname)) prev.close();  // a new dump: fresh defaults
  }
  report(s, 2);
  if (!s.dumpfile.open(dumpname)) cannot_open(s, dumpname, 1);
  s.prefix = dump_prefix(dumpname);
  detect_dump_kind(s);
  report(s, 3);
  saved += dumpname + "\n";

  // 2. The BSX file.
  report(s, 4);
  std::string bsxname = s.prefix + (a.termMARRA ? "rt1sl.bsx" : a.termdump ? "rt8gl.bsx" : "ct8sl.bsx");
  prev.word(bsxname);
  if (has(2)) {
    bsxname = arg(2);
    size_t len = bsxname.size();
    if (len > 9 && bsxname.compare(len - 9, 5, "RT8GL") == 0) {
      if (a.termMARRA)
        bsxname.replace(len - 9, 5, "RT1SL");
      else if (a.ELVELA)
        bsxname.replace(len - 9, 5, a.bsx_name);
    }
  } else {
    prompt(s, vt::format("\n     Name of BSX file (default %s):  ", bsxname.c_str()));
    ask_word(s, bsxname);
  }
  vt::print(s.con.out, "The BSX file being used is \"%s\"\n", bsxname.c_str());
  if (!s.bsxfile.open(bsxname)) cannot_open(s, bsxname, 1);
  saved += bsxname + "\n";

  // 3. The BSX file must fit the dump.
  if (a.termappl) check_bsx(s, bsxname);
  report(s, 5);

  // 4. The SYM or CDV file.
  std::string symname;
  if (!prev.word(symname) || symname.empty() || symname == "0")
    symname = s.prefix + (a.termdump ? "TS10L.SYM" : "CSMLL.SYM");
  if (has(3)) {
    symname = arg(3);
  } else {
    prompt(s, vt::format("\n     Name of SYM or CDV file (default %s.  Enter 0 if none):  ", symname.c_str()));
    ask_word(s, symname);
  }
  if (symname == "0") {
    saved += "0\n";
  } else {
    s.symfilename = cut(lower(symname), 84);
    size_t dot = s.symfilename.find('.');
    bool cdv = dot != std::string::npos && s.symfilename.compare(dot, std::string::npos, ".cdv") == 0;
    vt::BinaryFile& f = cdv ? s.cdvfile : s.symfile;
    if (!f.open(symname)) {
      vt::print(s.con.err, "\n\tCannot open SYM or CDV file %s\n", symname.c_str());
      end_run(s, 0);
    }
    if (!cdv) {
      int first = s.symfile.getc();
      s.symfile.seek(0);
      if (first == 1 || first == 9) {
        vt::print(s.con.err, "\n\t  %s appears to be an executable, not a SYM file.\n", s.symfilename.c_str());
        end_run(s, 0);
      }
    }
    saved += symname + "\n";
  }
  report(s, 6);
  bool symbols = s.symfile.is_open() || s.cdvfile.is_open();

  // 5. The application process.
  std::string appl = a.termdump ? "mpostapl" : "pvncsmll";
  prev.word(appl);
  if (has(4)) {
    appl = arg(4);
  } else {
    prompt(s, vt::format("\n     Application process name (default %s.  Enter 0 if none):  ", appl.c_str()));
    ask_word(s, appl);
  }
  s.applname = lower(cut(appl, 60));
  s.APPL_NAME = upper(s.applname);
  saved += appl + "\n";
  report(s, 7);

  // 6. and 7. The limits, when there are symbols to show.
  if (symbols) {
    int v = 25;
    prev.number(v);
    if (has(5)) scan_int(pos[4], v);
    s.userArrayLimit = static_cast<uint16_t>(v);
    if (!has(5)) {
      prompt(s, "\n     Max number of array elements shown (1 - 5000, ");
      prompt(s, vt::format("default = %d):  ", s.userArrayLimit));
      ask_limit(s, s.userArrayLimit);
    }
    if (s.userArrayLimit == 0 || s.userArrayLimit > 5000) {
      s.con.err << "\n\tInvalid array limit entered... using max 5000.";
      s.userArrayLimit = 5000;
    }
    saved += vt::format("%d\n", s.userArrayLimit);
    report(s, 8);

    v = 512;
    prev.number(v);
    if (has(6)) scan_int(pos[5], v);
    s.userStringLimit = static_cast<uint16_t>(v);
    if (!has(6)) {
      prompt(s, vt::format("\n     Max length of string shown (default = %d):  ", s.userStringLimit));
      ask_limit(s, s.userStringLimit);
    }
    saved += vt::format("%d\n", s.userStringLimit);
    report(s, 9);
  }

  // 8. The output.
  if (!symbols) {
    std::string skip;
    prev.word(skip);
    prev.word(skip);
  }
  std::string outname = "SCREEN";
  prev.word(outname);
  if (has(7) || (!symbols && has(5))) {
    // Read as a word; the output name from the command line is upper-cased.
    if (arg_word(pos[has(7) ? 6 : 4], outname)) outname = upper(outname);
  } else {
    prompt(s, vt::format("\n     Name of output file (default \"%s\"):  ", outname.c_str()));
    ask_line(s, outname);
  }
  if (outname == "SCREEN")
    s.outfile.open_screen(s.con.out);
  else if (!s.outfile.open_file(outname))
    cannot_open(s, outname, 1);
  s.outfilename = outname;
  std::string shown = outname == "SCREEN" ? "standard output" : outname;
  s.outfile.on_failure([&s, shown](const std::string& reason) { write_failure(s, shown, reason); });
  s.outfile.print("MORVIK program date - %s\n", Session::program_date);
  if (a.ELVELA) {
    std::string note = vt::format(
        "\nNOTE: This is a VELA EL dump.  If MORVIK fails to run correctly, ensure\nthat you specified the correct "
        "kernal BSX file (VX_%s.BSX or nnn%s.BSV).\n\n",
        a.bsx_name.c_str(), a.bsx_name.c_str());
    s.outfile.write(note);
    s.con.err << note;
  }
  report(s, 10);

  // 9. The serial trace's BSX file.
  s.serialBSXfile.clear();
  if (has(8))
    arg_word(pos[7], s.serialBSXfile);
  else
    prev.line(s.serialBSXfile);

  // 10. Save the answers: the new file replaces "appargs" in one step once
  // it is complete; a failure leaves the previous answers as they were and
  // ends the run.
  prev.close();
  std::string reason;
  if (!vt::write_crlf_text(kAnswersTemp, saved, &reason) || !vt::replace_file(kAnswersTemp, kAnswersFile, &reason)) {
    std::remove(kAnswersTemp);
    write_failure(s, kAnswersFile, reason);
    end_run(s, 1);
  }
  s.con.err << "\n";
  report(s, 11);
}

}  // namespace morvik

int morvik_main(int argc, char** argv, vt::Console& con) {
  morvik::Session s(con);
  try {
    morvik::allocate_buffers(s);
    morvik::morvik_banner(s, argc, argv);
    morvik::dialogue(s, argc, argv);
    morvik::run_report(s);
    morvik::end_run(s, 0);
  } catch (const vt::RunEnd& e) {
    // The last bytes of a report file leave with the close.
    if (!s.outfile.close()) return 1;
    return e.status;
  }
}
