// The one writer of a scheduled run. The terminals' polls download at the same time, each into
// its part; the writer writes the parts in directory order, a part only when every earlier one
// is written, so the output file, the mail copy, the monthly backup, the event log and the
// record counters read exactly as a run that polled one terminal after another.
//
// Records are written in batches: each file gets a batch's lines with one write and is on disk
// before the counters move past them. A run killed between the two leaves those lines behind the
// marks kept with the counters; the next run recognises them and does not write them again.
#pragma once

#include "DateFormat.h"
#include "RecordLines.h"
#include "RecordStore.h"
#include "RunPart.h"
#include "RunServices.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace px {

namespace reply {
struct RecordLine;
}

class RunWriter {
public:
    // Records written with one write per file and one counter write.
    static constexpr std::size_t kBatch = 64;

    RunWriter(RunServices& services, std::function<DateTime()> now);

    // Before the run writes anything: notes the lines a killed run left for these terminals.
    void TakeLeftOvers(const std::vector<int>& ids);
    // The parts in directory order.
    void AddPart(int id, RunPart& part);
    // Writes what the parts have ready, at most one batch of records; true when more is ready.
    bool Pump();
    std::size_t DoneCount() const { return head_; }
    bool AllDone() const { return head_ == parts_.size(); }

    // The event log, as the run writes it: every line in the file of the month it is written in.
    void Log(const std::string& line) const;
    void Silent(const std::string& line) const;

private:
    // Where one terminal's writing stands.
    struct Writing {
        int id = 0;
        RunPart* part = nullptr;
        bool begun = false;         // the counter file knows that this download runs
        bool resumed = false;       // the stored records still matched the terminal's
        bool counterFailed = false; // a counter write failed: the download stays pending
        long last = 0;              // records saved, from the start
        CardIdFilter filter;
        std::optional<LeftOver> left;       // lines a killed download of this terminal left
        bool claiming = false;              // the download may take those lines over
        std::size_t claimed[3] = {0, 0, 0}; // of each file's left lines, taken over so far
    };

    void Handle(Writing& w, std::vector<PartItem>& items, PartResult& result);
    void Cursor(const Writing& w);
    void Open(Writing& w, PartResult& result);
    bool OpenWriters();
    void WriteHeaders();
    void Resume(Writing& w, const PartItem& item, PartResult& result);
    void WriteBatch(Writing& w, const std::vector<const PartItem*>& batch, PartResult& result);
    bool Begin(Writing& w, const PartItem& first, PartResult& result);
    std::vector<std::string> Unclaimed(Writing& w, int file, long first,
                                       const std::vector<std::string>& lines);
    void CounterFailed(Writing& w, PartResult& result);
    void EndDownload(Writing& w, PartResult& result);
    FileMarks Marks() const;
    std::string CountersPath() const;
    LeftLines FindLeftLines(const FileMark& mark);

    RunServices& s_;
    std::function<DateTime()> now_;
    std::vector<Writing> parts_;
    std::size_t head_ = 0;
    std::map<int, LeftOver> leftOvers_; // by machine ID, for this run
    std::set<int> unsure_;              // their left lines could not be noted
};

} // namespace px
