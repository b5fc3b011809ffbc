// The Korvid52 program: the IDE built with the SX48/SX52 family tables.
#include "family/Family.h"
#include "ui/Application.h"

int main(int argc, char** argv) { return korvid::RunIde(argc, argv, korvid::Sx52Family()); }
