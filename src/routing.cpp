#include "zerin/exchange/routing.hpp"

#include "routing_formulas.hpp"

namespace zerin::exchange {

std::int32_t route_displacement(std::uint32_t source, std::uint32_t destination) noexcept {
  return detail::route_displacement(source, destination);
}

std::uint32_t direction(std::uint32_t source, std::uint32_t destination) noexcept {
  return detail::direction(source, destination);
}

std::int32_t time_to_mux(std::uint32_t source, std::uint32_t destination) noexcept {
  return detail::time_to_mux(source, destination);
}

std::int32_t paired_time_to_mux(std::uint32_t source, std::uint32_t destination) noexcept {
  return detail::paired_mux_times(source, destination).paired();
}

}  // namespace zerin::exchange
