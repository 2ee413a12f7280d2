#include "loadstate_view.h"

#include "os/le_bytes.h"
#include "storage/loadstate_sets.h"
#include "text.h"

namespace bsp::tools {
namespace {

const char *set_field(const LOAD_STATE_WORD_S &w, const LOAD_STATE_WORD_CORE_S &set) {
  return &set == &w.stLoadStateWordCur ? "stLoadStateWordCur" : "stLoadStateWordPre";
}

std::string shown(std::string_view bytes) { return bytes.empty() ? "-" : printable(bytes); }

void print_set(FILE *out, const char *role, const LOAD_STATE_WORD_S &w, const LOAD_STATE_WORD_CORE_S &set) {
  fprintf(out, "%s set (%s): %s (flag %u)\n", role, set_field(w, set), set.ucPktValidFlag != 0 ? "valid" : "invalid",
          set.ucPktValidFlag);
  fprintf(out, "  package  %s\n", shown(field_text(set.acPktFileName)).c_str());
  fprintf(out, "  config   %s\n", shown(field_text(set.acCfgFileName)).c_str());
  fprintf(out, "  license  %s\n", shown(field_text(set.acLicsFileName)).c_str());
  fprintf(out, "  patch    %s (state %u)\n", shown(field_text(set.acPatchFileName)).c_str(), set.ucPatchStat);
  fprintf(out, "  voice    %s\n", shown(field_text(set.acVoiceFileName)).c_str());
}

void json_set(Json &json, const LOAD_STATE_WORD_S &w, const LOAD_STATE_WORD_CORE_S &set) {
  json.begin_object()
      .field("field", set_field(w, set))
      .field("current", &set == &bsp::loadstate::current_set(w))
      .field("valid", set.ucPktValidFlag != 0)
      .field("valid_flag", static_cast<uint32_t>(set.ucPktValidFlag))
      .field("package", field_text(set.acPktFileName))
      .field("config", field_text(set.acCfgFileName))
      .field("license", field_text(set.acLicsFileName))
      .field("patch_state", static_cast<uint32_t>(set.ucPatchStat))
      .field("patch", field_text(set.acPatchFileName))
      .field("voice", field_text(set.acVoiceFileName))
      .end_object();
}

// Why the loader would not use the record; null when it would.
const char *unusable(const LoadStateView &view) {
  if (!view.present) return "no load state word yet: the loader creates the default record at its next boot";
  if (!view.complete()) return "the load state word is too short: the loader replaces it with the default record";
  if (!view.magic_ok()) return "the load state word has a wrong magic word: the loader replaces it with the default record";
  return nullptr;
}

}  // namespace

bool LoadStateView::magic_ok() const { return load_le32(&word.ulMagicWord) == LOAD_STATE_WORD_MAGIC; }

void print_load_state(FILE *out, const LoadStateView &view) {
  if (!view.complete()) {
    fprintf(out, "%s\n", unusable(view));
    return;
  }
  const LOAD_STATE_WORD_S &w = view.word;
  fprintf(out, "load state word: magic 0x%08x%s, checksum 0x%04x, selector %u\n", load_le32(&w.ulMagicWord),
          view.magic_ok() ? "" : " (wrong)", load_le16(&w.usCrcChkSum), w.ucCurDiskFlag);
  if (const char *why = unusable(view)) fprintf(out, "%s\n", why);
  print_set(out, "current", w, bsp::loadstate::current_set(w));
  print_set(out, "fallback", w, bsp::loadstate::fallback_set(w));
  fprintf(out, "backup package: %s\n", shown(field_text(w.acBackupPktFileName)).c_str());
}

void print_load_state_brief(FILE *out, const LoadStateView &view) {
  if (const char *why = unusable(view)) {
    fprintf(out, "  %s\n", why);
    return;
  }
  const LOAD_STATE_WORD_S &w = view.word;
  for (const LOAD_STATE_WORD_CORE_S *set : {&bsp::loadstate::current_set(w), &bsp::loadstate::fallback_set(w)}) {
    fprintf(out, "  %-8s %s: %-7s %s\n", set == &bsp::loadstate::current_set(w) ? "current" : "fallback",
            set_field(w, *set), set->ucPktValidFlag != 0 ? "valid" : "invalid",
            shown(field_text(set->acPktFileName)).c_str());
  }
}

void json_load_state(Json &json, const LoadStateView &view) {
  json.begin_object().field("present", view.present);
  if (view.present && view.stored_bytes != 0) json.field("size", static_cast<uint64_t>(view.stored_bytes));
  if (view.present) json.field("complete", view.complete());
  if (view.complete()) {
    const LOAD_STATE_WORD_S &w = view.word;
    json.field("magic", load_le32(&w.ulMagicWord))
        .field("magic_ok", view.magic_ok())
        .field("checksum", static_cast<uint32_t>(load_le16(&w.usCrcChkSum)))
        .field("selector", static_cast<uint32_t>(w.ucCurDiskFlag))
        .field("current", set_field(w, bsp::loadstate::current_set(w)));
    json.key("sets").begin_array();
    json_set(json, w, w.stLoadStateWordCur);
    json_set(json, w, w.stLoadStateWordPre);
    json.end_array().field("backup_package", field_text(w.acBackupPktFileName));
  }
  json.end_object();
}

}  // namespace bsp::tools
