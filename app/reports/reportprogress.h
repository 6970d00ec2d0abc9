#pragma once
#include <QString>
#include <exception>

// Long work of the reports (reading a report's rows, laying it out, writing or printing it)
// says how far it is and learns that the user cancelled. The program shows a progress dialog
// with a Cancel button once the work has taken a second; tests install their own.
class ReportProgress {
public:
    virtual ~ReportProgress() = default;
    // Work begins: its label and its number of steps (0 when not known beforehand).
    virtual void begin(const QString& label, int total) = 0;
    // Steps done so far (-1: work nested in other work, no figure of its own); false once the
    // user has cancelled.
    virtual bool step(int done) = 0;
    virtual void end() = 0;
    // The number of steps, once it is known.
    virtual void setTotal(int total) { (void)total; }
};

// The service in use.
ReportProgress& CurrentReportProgress();
// Installs another service (not owned); nullptr puts the program's one back.
void SetReportProgress(ReportProgress* progress);

// The user cancelled the work; whatever it was making is dropped.
class ReportCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "Cancelled by the user."; }
};

// One piece of work on the service. Pieces nest: only the outermost begins and ends, so a
// report read, built and laid out is one progress to the user.
class ReportWork {
public:
    explicit ReportWork(const QString& label, int total = 0);
    ~ReportWork();
    ReportWork(const ReportWork&) = delete;
    ReportWork& operator=(const ReportWork&) = delete;

    // One more step done (or `done` steps in all); throws ReportCancelled once the user cancelled.
    void step();
    void stepTo(int done);
    // The number of steps, once known (the outermost piece's only).
    void setTotal(int total);

private:
    bool m_outer = false;
    int m_done = 0;
};
