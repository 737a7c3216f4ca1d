#pragma once

#include <QString>
#include <QStringList>

// The files one run of opening works through, in order, with how far it has come and the
// messages of the files that could not be opened. Files added while the run is under way
// join it at the end.
class OpeningRun {
public:
    // Adds the files; true when a new run should start (none is under way and there are files).
    bool add(const QStringList& fileNames);
    bool hasNext() const { return !pending_.isEmpty(); }
    // Counts the next file as begun: "Opening k of n…".
    QString beginNext();
    bool isFirst() const { return done_ == 1; }
    // The file begun.
    QString takeNext() { return pending_.takeFirst(); }
    // Leaves the files not yet begun.
    void cancel() { pending_.clear(); }
    void fail(const QString& message) { failures_ << message; }
    // Ends the run: the failure messages, and a fresh state for the next run.
    QStringList finish();

private:
    bool active_ = false;
    QStringList pending_;
    int done_ = 0;
    int total_ = 0;
    QStringList failures_;
};
