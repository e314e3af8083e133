#pragma once

// Shuffle that goes on: every picture once, in a random order, before any comes again, and no
// picture twice in a row across two deals. The deal and the place in it are kept in a small
// text file, so that the next run goes on where this one stopped.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace slidesaver {

class PictureDeal {
 public:
  PictureDeal() = default;
  // A deal of `count` pictures: the saved one when `saved` holds a deal of that many pictures,
  // else a new one.
  PictureDeal(int count, const std::optional<std::string>& saved);

  // The picture the deal gives next; with `allowed`, the first from there on that it allows
  // (else the next one all the same).
  std::int32_t Peek(const std::function<bool(std::int32_t)>& allowed = {}) const;
  // Takes `picture` from the rest of the deal as the one shown now (when it is further on, it
  // changes places with the next one); a new deal begins after the last. False when the rest
  // of the deal does not hold it.
  bool Take(std::int32_t picture);

  // The deal as the text file holds it.
  std::string Saved() const;

  const std::vector<std::int32_t>& Order() const { return order_; }
  std::size_t Position() const { return position_; }

 private:
  // A new random order; its first picture is not `last`, where there is a choice.
  void Shuffle(std::int32_t last);

  std::vector<std::int32_t> order_;
  std::size_t position_ = 0;
};

// The file that keeps the deal of a saver: in the user's state folder, named by a hash of the
// saver's configuration record (what the saver holds, not where it lies).
std::string DealFileName(const std::vector<std::uint8_t>& configurationRecord);

}  // namespace slidesaver
