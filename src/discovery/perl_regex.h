#pragma once

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <memory>

struct pcre2_real_code_8;

// Whether size bytes at data are well-formed UTF-8 throughout: no stray or missing continuation
// byte, no overlong form, no surrogate, nothing beyond U+10FFFF.
bool isStrictUtf8(const char* data, qsizetype size);

// The matcher over PCRE2 (8-bit, UTF mode, any newline, matches never empty). Compiles a
// pattern once and keeps it while the pattern bytes stay the same.
class TPerlRegEx {
  public:
    TPerlRegEx();
    ~TPerlRegEx();
    TPerlRegEx(const TPerlRegEx&) = delete;
    TPerlRegEx& operator=(const TPerlRegEx&) = delete;

    // Stores the pattern; unchanged bytes keep the compiled form.
    void SetRegEx(const QByteArray& pattern);
    // Stores the subject (UTF-8; shared, not copied) and forgets the last result. Bytes that are
    // not strict UTF-8 are taken as the empty subject: the engine then never sees them.
    void SetSubject(const QByteArray& subject);
    // Compiles the pattern. Throws AppError with the "TPerlRegEx.Compile() - ..." messages.
    void Compile();
    // Compiles when needed and prepares fast matching (JIT). Where the JIT cannot have memory
    // (executable memory refused by the system, or none left) the interpreter matches instead,
    // with the same results. Throws AppError.
    void Study();
    // Leftmost match from the start of the subject.
    bool Match();
    // Next match from where the last one ended.
    bool MatchAgain();
    // Group n of the last successful match, or empty when n was not set.
    QByteArray GetGroups(int n) const;

    // The step that compiles a pattern to machine code, pcre2_jit_compile unless replaced (tests
    // make it fail the way it does where the system refuses executable memory).
    using JitCompiler = std::function<int(pcre2_real_code_8* code, uint32_t options)>;
    void setJitCompiler(JitCompiler jit);

    bool compiled() const;
    // How many times a pattern was compiled, for tests.
    int compileCount() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
