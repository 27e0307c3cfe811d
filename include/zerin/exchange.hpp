/// @file
/// zerin-exchange: plans data transfers over the statically scheduled on-chip
/// exchange of a many-tile processor. This header includes the whole public API.
#ifndef ZERIN_EXCHANGE_HPP
#define ZERIN_EXCHANGE_HPP

#include "zerin/exchange/export.hpp"

#include "zerin/exchange/decode.hpp"
#include "zerin/exchange/diagnostics.hpp"
#include "zerin/exchange/emission.hpp"
#include "zerin/exchange/errors.hpp"
#include "zerin/exchange/phase.hpp"
#include "zerin/exchange/plans.hpp"
#include "zerin/exchange/receive_events.hpp"
#include "zerin/exchange/routing.hpp"
#include "zerin/exchange/rows.hpp"
#include "zerin/exchange/sender_timing.hpp"
#include "zerin/exchange/topology.hpp"
#include "zerin/exchange/version.hpp"
#include "zerin/exchange/words.hpp"

#endif  // ZERIN_EXCHANGE_HPP
