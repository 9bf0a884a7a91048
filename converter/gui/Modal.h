// Every modal box and dialog of the program runs through RunModal, so that
// the tests can answer them as a user would (clicking the box's own
// buttons) without an event loop of their own. The program itself always
// runs them with exec().
#pragma once

class QDialog;

namespace vk {

class TModalRunner {
 public:
  virtual ~TModalRunner() = default;
  // Shows `dialog` modally and returns once it is closed; answers its result.
  virtual int Run(QDialog* dialog) = 0;
};

// Runs `dialog` through the runner in force (exec() when none was set).
int RunModal(QDialog* dialog);
// Puts `runner` in force, or exec() again for null; answers the one before.
TModalRunner* SetModalRunner(TModalRunner* runner);

}  // namespace vk
