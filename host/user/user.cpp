// placeholder until the USER layer lands
