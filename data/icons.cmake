# Which icon of the silk set stands for which program image.
# Toolbar entries: zip entry name (below toolbar/) and silk icon name.
set(QN_TOOLBAR_BMP
  new-doc=page_white_add
  open-doc=folder_page
  save-doc=disk
  copy=page_copy
  cut=cut
  paste=paste_plain
  ViewObjects=pictures
  FloatingWin=application_double
  search=find
  text-backcolour=paintcan
  text-colour=color_swatch
  new-child=chart_organisation_add
  new-sibling=add
  delete-node=delete
  node-down=arrow_down
  node-up=arrow_up
  node-right=arrow_right
  node-left=arrow_left
  icon=image
  histBack=resultset_previous
  histFwd=resultset_next)
# Dialog images, doubled to 32x32.
set(QN_TOOLBAR_PNG
  Password=lock
  Warning=error
  Error=exclamation
  Question=help
  Info=information)
# The caption bar's default icon (images/quil16.bmp).
set(QN_APP_ICON note)
# Tree icons, in list order; the first is shown for unknown icon names.
set(QN_TREE_ICONS
  page_white_text page_white page_white_code page_white_picture page_white_world
  page_white_star page_white_key page_white_link note folder folder_page folder_star
  folder_heart folder_picture folder_user folder_wrench folder_key book book_open
  book_addresses comment comments lightbulb star heart
  flag_red flag_orange flag_yellow flag_green flag_blue flag_purple
  tag_red tag_yellow tag_green tag_blue
  bullet_black bullet_red bullet_orange bullet_yellow bullet_green bullet_blue bullet_purple
  bullet_star calendar calendar_view_month calendar_view_week calendar_view_day date
  clock accept cross error exclamation help information key lock link world house
  user group email telephone cart money coins chart_bar chart_pie table picture images
  music film camera wrench cog bug script html database computer application brick
  plugin briefcase award_star_gold_1 cake cup weather_sun emoticon_smile
  emoticon_unhappy thumb_up thumb_down attach pencil)
