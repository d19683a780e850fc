// list commands
