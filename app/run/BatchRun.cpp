#include "run/BatchRun.h"

#include <algorithm>
#include <set>

#include "input/InputEntry.h"
#include "settings/Version.h"

namespace korbelt {
namespace {

using Control = RunControls::Control;

// Bytes compare as unsigned, as strcasecmp compares them: a plain char is signed on some
// processors and unsigned on others, and names with bytes above 127 would sort differently.
unsigned char Lower(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

}  // namespace

BatchRun::BatchRun(EngineHost& host, RunState& run, RepairEngine& engine, InputList& list,
                   RunControls& controls, FileSystem& fs)
    : host_(host), run_(run), engine_(engine), list_(list), controls_(controls), fs_(fs) {}

void BatchRun::cmdProcessAuto_Click() {
    // While a run yields to the user interface its mode must not change under it.
    if (running_) {
        return;
    }
    run_.interactive = false;
    ProcessFiles();
}

void BatchRun::cmdProcessInter_Click() {
    if (running_) {
        return;
    }
    run_.interactive = true;
    ProcessFiles();
}

void BatchRun::SortNames(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const bool less =
            std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                         [](char x, char y) { return Lower(x) < Lower(y); });
        const bool greater =
            std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(),
                                         [](char x, char y) { return Lower(x) < Lower(y); });
        // std::string orders bytes as unsigned already.
        return less || (!greater && a < b);
    });
}

void BatchRun::ProcessFiles() {
    // The pass yields to the user interface; a second run must not start inside it.
    if (running_) {
        return;
    }
    host_.Status().Clear();
    if (list_.SelectedCount() == 0) {
        return;
    }
    running_ = true;
    failures_ = 0;
    busy_ = 0;
    damageLeft_ = 0;
    engine_.StartRun(controls_.OptionsForRun());
    ShowRunning();
    const int count = list_.Count();
    for (int position = 0; position < count && position < list_.Count(); ++position) {
        if (controls_.EndRunRequested()) {
            break;
        }
        list_.SetCurrent(position);
        list_.ScrollToTop(position);
        if (!list_.Selected(position)) {
            continue;
        }
        const std::string& text = list_.Text(position);
        controls_.EntryStarted(position);
        const Walk walk = IsFileEntry(text) ? ProcessFileEntry(position, EntryPath(text))
                                            : ProcessDirectoryEntry(position, EntryPath(text));
        if (walk == Walk::Stop) {
            break;
        }
    }
    ShowIdle();
    running_ = false;
}

void BatchRun::ShowRunning() {
    controls_.SetEnabled(Control::ProcessAuto, false);
    controls_.SetVisible(Control::ProcessAuto, false);
    controls_.SetEnabled(Control::ProcessInter, false);
    controls_.SetVisible(Control::ProcessInter, false);
    controls_.SetEnabled(Control::Stop, true);
    controls_.SetVisible(Control::Stop, true);
    run_.stopflag = false;
    controls_.SetVisible(Control::ProgressBar, true);
}

void BatchRun::ShowIdle() {
    controls_.SetEnabled(Control::Stop, false);
    controls_.SetVisible(Control::Stop, false);
    controls_.SetEnabled(Control::ProcessAuto, true);
    controls_.SetVisible(Control::ProcessAuto, true);
    controls_.SetEnabled(Control::ProcessInter, true);
    controls_.SetVisible(Control::ProcessInter, true);
    controls_.SetVisible(Control::ProgressBar, false);
    host_.SetTitle(Version::IdleTitle());
}

FileOutcome BatchRun::ProcessOne(int position, const std::string& name, EntryOutcome& entry) {
    run_.listindex = host_.Status().AppendLine("Processing " + name);
    controls_.FileStarted(name);
    const FileOutcome outcome = engine_.ProcessFile(name);
    if (IsFailure(outcome)) {
        ++failures_;
    } else if (outcome == FileOutcome::Busy) {
        ++busy_;
    } else if (outcome == FileOutcome::DamageLeft) {
        ++damageLeft_;
    }
    controls_.FileFinished();
    controls_.FileReported(engine_.Report());
    entry.Add(engine_.Report());
    controls_.EntryReported(position, entry);
    return outcome;
}

BatchRun::Walk BatchRun::ProcessFileEntry(int position, const std::string& name) {
    EntryOutcome entry(EntryOutcome::Kind::File);
    const FileOutcome outcome = ProcessOne(position, name, entry);
    if (outcome == FileOutcome::Busy) {
        return Walk::GoOn;  // still to be done, but nothing went wrong here
    }
    if (!IsFailure(outcome)) {
        list_.SetSelected(position, false);
        return Walk::GoOn;
    }
    // The failed entry stays selected and counts among the selected ones.
    if (list_.SelectedCount() > 1 && !ProcessRemainingFiles()) {
        return Walk::Stop;
    }
    return Walk::GoOn;
}

BatchRun::Walk BatchRun::ProcessDirectoryEntry(int position, const std::string& directory) {
    auto names = fs_.ListOrdinaryFiles(directory);
    if (!names) {
        host_.Status().AppendLine("Unable to list directory '" + directory + "'");
        ++failures_;
        controls_.FolderUnlisted(directory);
        // The directory itself failed, not one of its files.
        FileReport unlisted;
        unlisted.name = directory;
        unlisted.failure = "unable to list directory";
        EntryOutcome failed(EntryOutcome::Kind::File);
        failed.Add(unlisted);
        controls_.EntryReported(position, failed);
        return Walk::GoOn;
    }
    SortNames(*names);
    const std::set<std::string> listed(names->begin(), names->end());
    EntryOutcome entry(EntryOutcome::Kind::Directory);
    for (const std::string& name : *names) {
        if (controls_.EndRunRequested()) {
            return Walk::Stop;
        }
        if (IsOwnBackup(directory, name, listed)) {
            continue;
        }
        if (IsFailure(ProcessOne(position, directory + "/" + name, entry)) &&
            !ProcessRemainingFiles()) {
            return Walk::Stop;
        }
    }
    // Nothing in it to process: it is told so once.
    if (entry.Files() == 0) {
        controls_.EntryReported(position, entry);
    }
    return Walk::GoOn;
}

// The original Korbelt kept beside a file it repaired is not a download to repair again. Only
// a folder's listing passes over it; named on its own, it is processed as asked.
bool BatchRun::IsOwnBackup(const std::string& directory, const std::string& name,
                           const std::set<std::string>& listed) {
    const std::string suffix = ".bak";
    if (name.size() <= suffix.size() || !name.ends_with(suffix)) {
        return false;
    }
    return listed.contains(name.substr(0, name.size() - suffix.size())) &&
           fs_.MarkOf(directory + "/" + name) == KorbeltMark::Backup;
}

bool BatchRun::ProcessRemainingFiles() {
    return host_.Boxes().Question(QuestionKind::ProcessRemainingFiles, "Process remaining files?");
}

}  // namespace korbelt
