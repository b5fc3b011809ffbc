#include "core/link/LinkObserver.h"

namespace korvid {

LinkObserver& NoLinkObserver() {
    static LinkObserver none;
    return none;
}

}  // namespace korvid
