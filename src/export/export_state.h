// The export state that describes the last transfer: which host order became which export
// order, the letter files copied into the work folder, and the host orders transferred.
// Held by the controller from window creation to destruction; ExportReset empties it,
// TransferOrders fills it, the package assembly and the export log read it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mrw {

struct OrderIdPair {
  int32_t OldID = 0;  // the order's ID in the host order table
  int32_t NewID = 0;  // the ID the export order table gave the copy

  bool operator==(const OrderIdPair&) const = default;
};

struct ExportState {
  std::vector<OrderIdPair> OrderIdMap;      // in transfer order
  std::vector<std::string> LetterFiles;     // full paths in the work folder, in copy order
  std::vector<int32_t> ExportedOrderIds;    // host IDs, in transfer order
  // The full path of the package the package assembly last started to write.
  std::string LastPackagePath;

  void Clear() {
    OrderIdMap.clear();
    LetterFiles.clear();
    ExportedOrderIds.clear();
  }
};

}  // namespace mrw
