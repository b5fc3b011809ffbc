// A window header of the check's sample.
#pragma once

class TPrintForm : public QDialog {};
